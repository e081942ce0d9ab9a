#pragma once

#include "net/NetError.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

inline constexpr const char* RSReplyCodeNotValid = "Reply Code is not valid: %s";

// An enhanced mail system status code of RFC 3463: class.subject.detail,
// such as 5.7.1.
class SmtpEnhancedCode {
public:
    int StatusClass = 0;
    int Subject = 0;
    int Details = 0;
    bool Available = false;

    // The text form, such as "5.7.1"; empty when none was seen.
    [[nodiscard]] std::string ReplyAsStr() const;
    // Takes a code apart; an empty text, or one that is no code, leaves none.
    void SetReplyAsStr(std::string_view text);

    friend bool operator==(const SmtpEnhancedCode&, const SmtpEnhancedCode&) = default;
};

// Whether the word is an enhanced status code: the part before the first
// full stop begins with 2, 4 or 5, and the two parts after it are numbers.
[[nodiscard]] bool IsEnhancedStatusCode(std::string_view word);

// One reply of the server: its three-digit code and its text lines.
class SmtpReply {
public:
    std::string Code; // as sent; empty when absent
    std::vector<std::string> Text;
    SmtpEnhancedCode EnhancedCode;

    // The value of Code; 0 when it is empty or no number.
    [[nodiscard]] int NumericCode() const;
    void Clear();

    // Fills the reply from the lines the server sent (the first one already
    // trimmed). Raises NetError "Reply Code is not valid: <code>" when
    // the code is neither empty nor a number from 100 to 999; the reply then
    // holds only that code.
    void SetFormattedReply(const std::vector<std::string>& lines);

    // The lines of Text, each followed by CR LF.
    [[nodiscard]] std::string TextWithLineEnds() const;
};

// Whether a reply line ends its reply: it is shorter than four characters,
// or its fourth character is a blank (a hyphen there continues the reply).
[[nodiscard]] bool IsEndOfReplyLine(std::string_view line);

// A reply whose code the command does not allow. The message is the
// reply's text, each line followed by CR LF.
class SmtpReplyError : public NetError {
public:
    explicit SmtpReplyError(const SmtpReply& reply);

    [[nodiscard]] int ErrorCode() const { return errorCode_; }
    [[nodiscard]] const SmtpEnhancedCode& EnhancedCode() const { return enhancedCode_; }

private:
    int errorCode_;
    SmtpEnhancedCode enhancedCode_;
};

} // namespace morvanta
