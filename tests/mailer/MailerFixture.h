#pragma once

#include "base/Clock.h"
#include "base/Text.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TableFiles.h"
#include "fixtures/TestFiles.h"
#include "mailer/MailerController.h"
#include "mailer/MailerView.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace morvanta::test {

using Lines = std::vector<std::string>;

// A message as a mail server stores it, handed in by the address.
inline Lines SpamFrom(const std::string& address, const std::string& subject = "You have won")
{
    return {
        "Return-Path: <bounce@spam.example>",
        "Received: from relay.spam.example (relay.spam.example [" + address + "])",
        "\tby mx.mine.example (Postfix) with ESMTP id 4F1A2C0",
        "From: \"Prize Office\" <winner@spam.example>",
        "Subject: " + subject,
        "",
        "Send your bank details to %IP% to claim.",
    };
}

// A message without any Received header: no source IP.
inline Lines SpamWithoutSource(const std::string& subject = "No trace")
{
    return { "From: someone@spam.example", "Subject: " + subject, "", "Nothing to trace here." };
}

// A program folder and a home of their own, a fixed day, a recording UI and
// plain window fields. Every WHOIS server is a refused loopback port and
// every source address the tests use is cached, so that no look-up leaves
// the machine.
class MailerFixture : public ::testing::Test {
protected:
    MailerFixture()
        : clock(FixedClock::AtLocal(2024, 3, 18, 14, 30, 5))
    {
        WriteFile(program / "VirusReport.txt", "A virus came from %IP%.\r\nPlease stop it.\r\n");
    }

    // The main Morvanta.ini: the mail options given (one key=value a line)
    // and the options that aim every WHOIS server at a refused port.
    void WriteSettings(const std::string& mailOptions, const std::string& options = "",
                       const std::string& sections = "")
    {
        // No sendmail program unless the options name one.
        std::string ini = "[MailOptions]\r\n" + mailOptions + "SendmailProgram=" + program / "no-sendmail"
                          + "\r\n[Options]\r\n" + options;
        for (const char* key : { "DefaultWhoisHost", "RipeWhoisHost", "AfrinicWhoisHost", "ApnicWhoisHost",
                                 "JpnicWhoisHost", "LacnicWhoisHost", "BrnicWhoisHost", "AbuseWhoisHost" })
            ini += std::string(key) + "=127.0.0.1\r\n";
        ini += "WhoisPort=" + std::to_string(refusedWhois.Port()) + "\r\nNetworkTimeout=5\r\n" + sections;
        WriteFile(program / "Morvanta.ini", ini);
    }

    // Mail options for a server on the port, with a sender.
    static std::string MailTo(int port, const std::string& more = "")
    {
        return "HostAddress=127.0.0.1\r\nPort=" + std::to_string(port)
               + "\r\nDefaultFromEMailAddress=reporter@example.org\r\n" + more;
    }

    void WriteUserSettings(const std::string& content)
    {
        ForceDirectories(user / "Morvanta/");
        WriteFile(user / "Morvanta/Morvanta.ini", content);
    }

    // Fresh cache entries: address and its complaint list.
    void Cache(const std::vector<std::pair<std::string, std::string>>& entries)
    {
        std::vector<TableRow> rows;
        for (const auto& [address, list] : entries)
            rows.push_back({ 0, IPListValues(address, list, kDay) });
        WriteTableFile(program / "IPList.db", IPListTableDef(), rows);
    }

    // The controller as the windowed program has it once the window is shown.
    MailerController& Open()
    {
        controller = std::make_unique<MailerController>(program.Path(), clock);
        controller->Start();
        controller->AttachView(fields);
        controller->CreateContactCache();
        controller->Show();
        return *controller;
    }

    [[nodiscard]] std::string Log() const
    {
        return PathExists(program / "MVMail.log") ? ReadFile(program / "MVMail.log") : "";
    }

    [[nodiscard]] std::vector<std::string> SpoolNames() const { return ListFolder(program / "UnProcessableSpam/"); }

    // The contents of every spool file, sorted.
    [[nodiscard]] std::vector<std::string> SpoolContents() const
    {
        std::vector<std::string> contents;
        for (const std::string& name : SpoolNames())
            contents.push_back(ReadFile(program / ("UnProcessableSpam/" + name)));
        std::sort(contents.begin(), contents.end());
        return contents;
    }

    [[nodiscard]] std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& message : ui.messages)
            texts.push_back(message.text);
        return texts;
    }

    TempDir program;
    TempDir user;
    ScopedEnv xdg { "XDG_CONFIG_HOME", user.Path().c_str() };
    ClosedPort refusedWhois;
    RecordingUi ui;
    FixedClock clock;
    MailerFields fields;
    std::unique_ptr<MailerController> controller;
};

} // namespace morvanta::test
