#include "net/EmailAddress.h"
#include "net/MessageErrors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

struct ItemCase {
    const char* name;
    const char* text;
    const char* expectedName;
    const char* expectedAddress;
    const char* expectedText;
};

TEST(EmailAddress, ParsesTextIntoNameAndAddressAndRendersItBack)
{
    const ItemCase cases[] = {
        { "name and angle address", "John Smith <john@example.org>", "John Smith", "john@example.org",
          "John Smith <john@example.org>" },
        { "quoted name with a comma", "\"Doe, John\" <john@example.org>", "Doe, John", "john@example.org",
          "\"Doe, John\" <john@example.org>" },
        { "bare address", "john@example.org", "", "john@example.org", "john@example.org" },
        { "address in angle brackets only", "<john@example.org>", "", "john@example.org", "john@example.org" },
        { "comment after the address is dropped", "john@example.org (John Smith)", "", "john@example.org",
          "john@example.org" },
        { "comment glued to the address", "john@example.org(John)", "", "john@example.org", "john@example.org" },
        { "nested comment stays out of the address", "john@example.org (a (b) c)", "", "john@example.org",
          "john@example.org" },
        { "single word becomes the address", "postmaster", "", "postmaster", "postmaster" },
        { "surrounding blanks and controls are trimmed", " \t john@example.org \r\n", "", "john@example.org",
          "john@example.org" },
        { "blanks after the angle's full stops go", "Jo <john@ example. org>", "Jo", "john@example.org",
          "Jo <john@example.org>" },
        { "name with a full stop is quoted on output", "\"J. Smith\" <j@example.org>", "J. Smith", "j@example.org",
          "\"J. Smith\" <j@example.org>" },
        { "escaped quote inside quotes", "\"say \\\"hi\\\"\" <j@example.org>", "say \"hi\"", "j@example.org",
          "\"say \\\"hi\\\"\" <j@example.org>" },
        { "empty text", "   ", "", "", "" },
    };
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmailAddress item;
        item.SetText(c.text);
        EXPECT_EQ(item.Name, c.expectedName);
        EXPECT_EQ(item.Address, c.expectedAddress);
        EXPECT_EQ(item.Text(), c.expectedText);
    }
}

TEST(EmailAddress, AssigningTextReplacesEarlierNameAndAddress)
{
    EmailAddress item("Old Name <old@example.org>");
    item.SetText("new@example.org");
    EXPECT_EQ(item.Name, "");
    EXPECT_EQ(item.Address, "new@example.org");
}

TEST(EmailAddress, SecondAtSignAfterAngleAddressRaisesAndKeepsWhatWasParsed)
{
    EmailAddress item;
    try {
        item.SetText("John <john@example.org> other@example.org");
        FAIL() << "no error raised";
    } catch (const EmailParseError& error) {
        EXPECT_STREQ(error.what(), "@ Outside address");
    }
    EXPECT_EQ(item.Name, "John");
    EXPECT_EQ(item.Address, "john@example.org");
}

struct RenderCase {
    const char* name;
    const char* itemName;
    const char* address;
    const char* expectedText;
};

TEST(EmailAddress, RendersNameAndAddressByTheirCharacters)
{
    const RenderCase cases[] = {
        { "atom name stays unquoted", "John Smith", "john@example.org", "John Smith <john@example.org>" },
        { "name with specials is quoted and escaped", "A \"B\" \\ C", "a@example.org",
          "\"A \\\"B\\\" \\\\ C\" <a@example.org>" },
        { "name equal to the upper-case address is left out", "JOHN@EXAMPLE.ORG", "john@example.org",
          "<john@example.org>" },
        { "local part with a blank is quoted", "", "john smith@example.org", "<\"john smith\"@example.org>" },
        { "local part with a quote is escaped", "Jo", "a\"b@example.org", "Jo <\"a\\\"b\"@example.org>" },
        { "dotted local part stays bare", "", "john.smith@example.org", "john.smith@example.org" },
        { "full stop before another special keeps it bare", "", "a.b c@example.org", "a.b c@example.org" },
        { "name without address", "John", "", "John <>" },
        { "nothing at all", "", "", "" },
    };
    for (const RenderCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmailAddress item;
        item.Name = c.itemName;
        item.Address = c.address;
        EXPECT_EQ(item.Text(), c.expectedText);
    }
}

TEST(EmailAddress, UserAndDomainSplitAtTheLastAtSign)
{
    EmailAddress item;
    item.Address = "\"a@b\"@example.org";
    EXPECT_EQ(item.User(), "\"a@b\"");
    EXPECT_EQ(item.Domain(), "example.org");
    item.Address = "postmaster";
    EXPECT_EQ(item.User(), "");
    EXPECT_EQ(item.Domain(), "");
}

struct Mailbox {
    std::string name;
    std::string address;
    bool operator==(const Mailbox&) const = default;
};

void PrintTo(const Mailbox& mailbox, std::ostream* out)
{
    *out << "{" << mailbox.name << " | " << mailbox.address << "}";
}

std::vector<Mailbox> Mailboxes(const EmailAddressList& list)
{
    std::vector<Mailbox> result;
    for (const auto& item : list)
        result.push_back({ item.Name, item.Address });
    return result;
}

struct ListCase {
    const char* name;
    const char* text;
    std::vector<Mailbox> expected;
};

TEST(EmailAddressList, SplitsListTextIntoMailboxes)
{
    const ListCase cases[] = {
        { "comma", "a@example.org, b@example.net", { { "", "a@example.org" }, { "", "b@example.net" } } },
        { "semicolon", "a@example.org;b@example.net", { { "", "a@example.org" }, { "", "b@example.net" } } },
        { "single address", "a@example.org", { { "", "a@example.org" } } },
        { "quoted name keeps its comma",
          "\"Doe, John\" <john@example.org>, jane@example.net",
          { { "Doe, John", "john@example.org" }, { "", "jane@example.net" } } },
        { "comma inside a comment does not split",
          "a@example.org (Smith, John), b@example.net",
          { { "", "a@example.org" }, { "", "b@example.net" } } },
        { "group name is dropped",
          "Friends: a@example.org, b@example.net;",
          { { "", "a@example.org" }, { "", "b@example.net" } } },
        { "empty group", "undisclosed-recipients:;", {} },
        { "commas and blanks only", " , ,\t, ", {} },
        { "blank text", " \t ", {} },
        { "empty entries vanish",
          "a@example.org,, ,<>, b@example.net",
          { { "", "a@example.org" }, { "", "b@example.net" } } },
        { "entry of a comment only vanishes after a semicolon", "a@example.org; (note);", { { "", "a@example.org" } } },
        { "names with blanks",
          "John Smith <j@example.org>, Jane Roe <r@example.org>",
          { { "John Smith", "j@example.org" }, { "Jane Roe", "r@example.org" } } },
        { "escaped quote inside a quoted name",
          "\"a \\\" , b\" <x@example.org>, y@example.org",
          { { "a \", b", "x@example.org" }, { "", "y@example.org" } } },
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmailAddressList list;
        list.SetAddressListText(c.text);
        EXPECT_EQ(Mailboxes(list), c.expected);
    }
}

TEST(EmailAddressList, AssigningTextReplacesTheWholeList)
{
    EmailAddressList list;
    list.SetAddressListText("a@example.org, b@example.org");
    list.SetAddressListText("c@example.org");
    EXPECT_EQ(Mailboxes(list), (std::vector<Mailbox> { { "", "c@example.org" } }));
}

TEST(EmailAddressList, ListTextRoundTripsThroughItsRenderedForm)
{
    EmailAddressList list;
    list.SetAddressListText("\"Doe, John\" <john@example.org>; jane@example.net, Max Mustermann <m@example.de>");
    EXPECT_EQ(list.AddressListText(),
              "\"Doe, John\" <john@example.org>, jane@example.net, Max Mustermann <m@example.de>");

    EmailAddressList again;
    again.SetAddressListText(list.AddressListText());
    EXPECT_EQ(Mailboxes(again), Mailboxes(list));
}

TEST(EmailAddressList, ParseErrorKeepsEarlierEntriesAndThePartOfTheFailingOne)
{
    EmailAddressList list;
    EXPECT_THROW(list.SetAddressListText("a@example.org, John <j@example.org> k@example.org, c@example.org"),
                 EmailParseError);
    EXPECT_EQ(Mailboxes(list), (std::vector<Mailbox> { { "", "a@example.org" }, { "John", "j@example.org" } }));
}

TEST(EmailAddressList, AddAppendsAnEmptyItemWithoutMovingTheOthers)
{
    EmailAddressList list;
    EmailAddress& first = list.Add();
    first.Address = "a@example.org";
    for (int i = 0; i < 100; ++i)
        list.Add();
    EXPECT_EQ(&first, &list[0]);
    EXPECT_EQ(list[0].Address, "a@example.org");
    EXPECT_EQ(list.Count(), 101u);
    EXPECT_EQ(list[100].Text(), "");
}

} // namespace
} // namespace morvanta
