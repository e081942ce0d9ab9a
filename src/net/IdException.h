#pragma once
#include <stdexcept>
#include <string>
namespace morvanta {
class EIdException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
} // namespace morvanta
