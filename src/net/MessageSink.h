#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

// Where a message is written to, line by line. The SMTP client implements
// it on its connection (adding the "." transparency of the data phase);
// tests collect the lines.
class MessageSink {
public:
    virtual ~MessageSink() = default;

    // One line, without its line end.
    virtual void WriteLine(std::string_view line) = 0;

    // Several lines in one buffered write.
    virtual void WriteLines(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            WriteLine(line);
    }

    // Progress for the user, such as "Encoding attachment".
    virtual void Status(const std::string& text) { (void)text; }
};

} // namespace morvanta
