// The mailer's send and bulk commands, run by the mailer's own controller
// over plain fields instead of a window.
#include "app/Config.h"
#include "app/Platform.h"
#include "base/Files.h"
#include "base/Text.h"
#include "cli/CliCommand.h"
#include "mailer/MailerController.h"
#include "mailer/MailerView.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace morvanta::cli {

namespace {

// The window's fields for the tool: status texts and the info box's lines
// go to standard error as they come, and are not kept.
class ConsoleMailerFields : public MailerFields {
public:
    void AppendInfo(const std::string& line) override { PrintStatus(line); }
    void SetStatus(const std::string& text) override
    {
        status = text;
        PrintStatus(text);
    }
};

// The controller as the window would have it once shown, over the fields.
class ToolMailer {
public:
    ToolMailer()
        : controller(GetProgramFolder())
    {
        controller.Start();
        controller.AttachView(fields);
        controller.CreateContactCache();
        controller.Show();
        loadedTemplate_ = controller.Settings().Mail->DefaultFile;
        loadedBulkPath_ = controller.Settings().LastBulkReportPath;
    }

    // The per-user file is written only when the command changed one of its values.
    void Finish()
    {
        Config& settings = controller.Settings();
        if (settings.Mail->DefaultFile != loadedTemplate_ || settings.LastBulkReportPath != loadedBulkPath_)
            settings.SaveUserSettings();
    }

    ConsoleMailerFields fields;
    MailerController controller;

private:
    std::string loadedTemplate_;
    std::string loadedBulkPath_;
};

struct ReportOptions {
    std::string input;
    std::optional<std::string> to;
    std::optional<std::string> subject;
    std::optional<std::string> cc;
    std::optional<std::string> bcc;
    std::optional<std::string> attachment;
    std::optional<std::string> templateName;
};

int RunReport(const ReportOptions& options)
{
    std::vector<std::string> lines = SplitLines(ReadInputFile(options.input));
    if (options.attachment && !FileExists(*options.attachment)) {
        std::cerr << ("report: the attachment " + *options.attachment + " does not exist\n");
        return ExitUsage;
    }

    ToolMailer mailer;
    MailerFields& fields = mailer.fields;
    if (options.templateName) {
        int position = -1;
        for (size_t i = 0; i < fields.templateNames.size(); ++i)
            if (SameText(fields.templateNames[i], *options.templateName))
                position = static_cast<int>(i);
        if (position < 0) {
            std::cerr << ("report: there is no template " + *options.templateName + " (a file named *Report.txt) in "
                          + mailer.controller.Settings().ProgramFolder + "\n");
            return ExitUsage;
        }
        mailer.controller.SelectTemplate(position);
    }
    fields.messageLines = std::move(lines);
    if (options.subject)
        fields.subject = *options.subject;
    if (options.cc)
        fields.cc = *options.cc;
    if (options.bcc)
        fields.bcc = *options.bcc;
    if (options.attachment)
        fields.attachmentPath = std::filesystem::absolute(*options.attachment).string();

    if (options.to)
        fields.recipients = *options.to;
    else
        mailer.controller.FindComplaintEmails(0);
    if (Trim(fields.recipients).empty()) {
        std::cerr << (options.to ? std::string("report: --to names no address; nothing was sent\n")
                                 : "report: no complaint address was found for the message (source IP "
                                       + (mailer.controller.Session().Context().CurrentIP.empty()
                                              ? std::string("unknown")
                                              : mailer.controller.Session().Context().CurrentIP)
                                       + "); nothing was sent\n");
        mailer.Finish();
        return ExitFailed;
    }

    mailer.controller.SendReport();
    mailer.Finish();
    return mailer.controller.LastSendOutcome() == SendOutcome::Sent ? ExitDone : ExitFailed;
}

const char* OutcomeWord(BulkOutcome outcome)
{
    switch (outcome) {
    case BulkOutcome::Sent: return "sent";
    case BulkOutcome::Spooled: return "spooled";
    case BulkOutcome::Failed: return "failed";
    case BulkOutcome::Empty: return "empty";
    }
    return "failed";
}

int RunBulk(const std::string& folder)
{
    ToolMailer mailer;
    mailer.controller.NeverPause();
    mailer.fields.bulkFolderAnswer = std::filesystem::absolute(folder).lexically_normal().string();

    bool anyFailed = false;
    bool outputFailed = false;
    mailer.controller.onBulkFile = [&](const BulkFileResult& result) {
        anyFailed = anyFailed || result.outcome == BulkOutcome::Failed;
        std::cout << (result.fileName + "\t" + result.address + "\t" + result.recipients + "\t"
                      + OutcomeWord(result.outcome) + "\n");
        // A script reading the lines sees each as soon as its file is done.
        std::cout.flush();
        outputFailed = outputFailed || !std::cout;
    };
    try {
        mailer.controller.BulkReport();
    } catch (...) {
        mailer.Finish();
        throw;
    }
    mailer.Finish();
    if (outputFailed) {
        ReportOutputFailure();
        return ExitFailed;
    }
    return anyFailed ? ExitFailed : ExitDone;
}

const CommandRegistration registerReport(
    30, "report",
    "Send a complaint report about a message, as the mailer's send command does; exit status 1 when it was not "
    "delivered",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<ReportOptions>();
        command.add_option("FILE", options->input, "The message, headers first; - for standard input")->required();
        command.add_option("--to", options->to,
                           "Complaint addresses, comma separated (default: those the find command finds)");
        command.add_option("--subject", options->subject, "Subject (default: the template's; %IP% is expanded)");
        command.add_option("--cc", options->cc, "Copy recipients (default: the CC setting)");
        command.add_option("--bcc", options->bcc, "Blind-copy recipients (default: the BCC setting)");
        command.add_option("--attach", options->attachment, "A file to attach");
        command.add_option("--template", options->templateName,
                           "Report template, a *Report.txt file of the program folder; it becomes the chosen one");
        command.callback([&context, options] { context.exitStatus = RunReport(*options); });
    });

const CommandRegistration registerBulk(
    31, "bulk",
    "Report every file of a folder of saved messages, spooling those without a complaint address; prints file, IP, "
    "list and sent, spooled, failed or empty, TAB-separated",
    [](CLI::App& command, CliContext& context) {
        auto folder = std::make_shared<std::string>();
        command.add_option("DIR", *folder, "The folder of saved messages")->required()->check(CLI::ExistingDirectory);
        command.callback([&context, folder] { context.exitStatus = RunBulk(*folder); });
    });

} // namespace

} // namespace morvanta::cli
