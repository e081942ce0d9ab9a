#include "analysis/AbuseMailbox.h"

#include "base/Text.h"
#include "fixtures/WhoisRegistries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using namespace whois_text;
using List = std::vector<std::string>;

struct Case {
    const char* name;
    std::string answer;
    List expected;
};

TEST(DesignatedAbuseMailboxes, FindsEachRegistrysDesignation)
{
    const Case cases[] = {
        { "RIPE NCC: the abuse role's mailbox, not its e-mail or the remarks",
          RipeAssignment("62.4.16.0 - 62.4.31.255", "Abuse@Operator-DSL.de", "noc@operator-dsl.de",
                         "cert@operator-dsl.de"),
          { "abuse@operator-dsl.de" } },
        { "AfriNIC, in the RIPE database format",
          RipeStyleInetnum("AFRINIC", "196.0.0.0 - 196.0.255.255", "EXAMPLE-AF", "abuse@af-operator.co.za"),
          { "abuse@af-operator.co.za" } },
        { "APNIC for a national registry's space: the registry's hostmaster",
          ApnicNationalRegistryBlock("211.32.0.0 - 211.63.255.255", "KRNIC-KR", "hostmaster@nic.or.kr",
                                     "211.40.0.0 - 211.40.255.255", "abuse@operator-telecom.co.kr"),
          { "hostmaster@nic.or.kr" } },
        { "ARIN: the organisation's abuse e-mail, not its technical one",
          ArinNetwork("23.0.0.0 - 23.0.255.255", "Example Hosting", "abuse@hosting.net", "noc@hosting.net",
                      "Security issues: security@hosting.net"),
          { "abuse@hosting.net" } },
        { "ARIN: a reassignment shows the customer's and the provider's organisation",
          ArinNetwork("23.0.0.0 - 23.0.255.255", "Provider", "abuse@provider.net")
              + ArinNetwork("23.0.4.0 - 23.0.4.255", "Customer", "Abuse@Customer.com"),
          { "abuse@provider.net", "abuse@customer.com" } },
        { "LACNIC: the e-mail of the contact abuse-c names, not the owner's",
          LacnicInetnum("200.1.0.0/16", "abuse@operador.cl", "", "noc@operador.cl"),
          { "abuse@operador.cl" } },
        { "registro.br: nic-hdl-br contacts, not the comment about cert.br",
          BrnicInetnum("200.2.0.0/16", "abuse@provedor.com.br", "gerencia@provedor.com.br"),
          { "abuse@provedor.com.br" } },
        { "JPNIC names its abuse contact in a form of its own, which designates nothing",
          JpnicNetwork("202.11.0.0/16", "abuse@jp-operator.jp"),
          {} },
        { "a plain registry answer without any designation",
          "NetRange: 23.0.0.0\nOrgTechEmail: noc@hosting.net\nremarks: abuse to abuse@hosting.net\n",
          {} },
        { "RIPE says that no abuse contact is registered",
          "% No abuse contact registered for 62.4.16.0 - 62.4.31.255\n\ninetnum: 62.4.16.0 - 62.4.31.255\n"
          "e-mail: noc@operator-dsl.de\n",
          {} },
        { "the empty answer", "", {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DesignatedAbuseMailboxes(c.answer), c.expected);
    }
}

TEST(DesignatedAbuseMailboxes, ReadsTheLinesAsTheServersWriteThem)
{
    const std::string lacnic = LacnicInetnum("200.1.0.0/16", "abuse@operador.cl", "", "noc@operador.cl");
    const Case cases[] = {
        { "each address once, in the order of the designating lines",
          "% Abuse contact for '62.4.16.0 - 62.4.31.255' is 'b@two.net'\nabuse-mailbox: a@one.net\n"
          "abuse-mailbox: B@Two.net\nOrgAbuseEmail: c@three.net\n",
          { "b@two.net", "a@one.net", "c@three.net" } },
        { "keys in any case and indented",
          "  ABUSE-MAILBOX:\tabuse@one.net\n\tOrgABUSEemail: abuse@two.net\n",
          { "abuse@one.net", "abuse@two.net" } },
        { "a key inside another line's value is no key",
          "remarks: abuse-mailbox: abuse@one.net\ndescr: see OrgAbuseEmail: abuse@two.net\n",
          {} },
        { "the last address of the value, as a harvested line gives it",
          "abuse-mailbox: <Spam@One.net>, complaints@one.net.\n",
          { "complaints@one.net" } },
        { "a designation without an address", "abuse-mailbox:\nOrgAbuseEmail: none\n", {} },
        { "server's CR LF turned into CR CR LF keeps the contacts apart",
          LfToCrLf(ReplaceAll(lacnic, "\n", "\r\n")),
          { "abuse@operador.cl" } },
        { "lone CR line ends", ReplaceAll(lacnic, "\n", "\r"), { "abuse@operador.cl" } },
        { "handles are compared ignoring letter case",
          "abuse-c: exb3\n\nNIC-HDL-BR: EXB3\nE-Mail: abuse@provedor.com.br\n",
          { "abuse@provedor.com.br" } },
        { "every e-mail of the contact, also those before its handle",
          "abuse-c: AB1\n\nperson: Abuse\ne-mail: first@isp.net\nnic-hdl: AB1\ne-mail: second@isp.net\n",
          { "first@isp.net", "second@isp.net" } },
        { "a contact ends at the next handle without a blank line between",
          "abuse-c: AB1\nnic-hdl: OWN1\ne-mail: owner@isp.net\nnic-hdl: AB1\ne-mail: abuse@isp.net\n",
          { "abuse@isp.net" } },
        { "several abuse-c contacts, in the order they are named",
          "abuse-c: AB2\nabuse-c: AB1\nabuse-c: AB2\n\nnic-hdl: AB1\ne-mail: one@isp.net\n\n"
          "nic-hdl: AB2\ne-mail: two@isp.net\n",
          { "two@isp.net", "one@isp.net" } },
        { "abuse-c naming a contact the answer lacks", "abuse-c: AB9\n\nnic-hdl: AB1\ne-mail: one@isp.net\n", {} },
        { "a direct designation makes abuse-c contacts count for nothing",
          "abuse-c: AR1-RIPE\n\nrole: Abuse\ne-mail: noc@isp.net\nabuse-mailbox: abuse@isp.net\nnic-hdl: AR1-RIPE\n",
          { "abuse@isp.net" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DesignatedAbuseMailboxes(c.answer), c.expected);
    }
}

TEST(DesignatedAbuseMailboxes, CopesWithHugeAndHostileAnswers)
{
    struct Hostile {
        const char* name;
        std::string answer;
        size_t count;
        std::string first;
    };
    std::string oneLine;
    for (int i = 0; i < 100000; ++i)
        oneLine += "abuse-mailbox: a" + std::to_string(i) + "@x.net ";
    std::string manyMailboxes;
    for (int i = 0; i < 100000; ++i)
        manyMailboxes += "Abuse-Mailbox: A" + std::to_string(i) + "@X.net\r\r\n";
    std::string repeatedHandles;
    for (int i = 0; i < 50000; ++i)
        repeatedHandles
            += "abuse-c: H1\nnic-hdl-br: H1\ne-mail: a@b.net\ne-mail: c" + std::to_string(i % 7) + "@d.net\n";
    const Hostile cases[] = {
        { "megabytes without a line break: one line, its last address", oneLine, 1, "a99999@x.net" },
        { "a hundred thousand designations", manyMailboxes, 100000, "a0@x.net" },
        { "one handle named and defined again and again", repeatedHandles, 8, "a@b.net" },
        { "binary bytes", std::string(1 << 20, '\0') + "\nabuse-mailbox: \xff" + "a@b.net\n", 1, "a@b.net" },
        { "a colon far into a huge line", std::string(1 << 20, 'k') + ": a@b.net", 0, "" },
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        const List found = DesignatedAbuseMailboxes(c.answer);
        ASSERT_EQ(found.size(), c.count);
        if (c.count > 0) {
            EXPECT_EQ(found.front(), c.first);
        }
    }
}

} // namespace
} // namespace morvanta::test
