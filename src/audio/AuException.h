#pragma once

#include <stdexcept>
#include <string>

namespace bw {

// Every failure inside the audio pipeline; it carries only its message.
class EAuException : public std::runtime_error {
public:
    explicit EAuException(const std::string& message) : std::runtime_error(message) {}
};

} // namespace bw
