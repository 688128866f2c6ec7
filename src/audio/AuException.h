#pragma once

#include <stdexcept>
#include <string>

namespace bw {

// Every failure inside the audio pipeline; it carries only its message.
class EAuException : public std::runtime_error {
public:
    explicit EAuException(const std::string& message) : std::runtime_error(message) {}
};

// Why a source that decodes to no samples at all is refused.
inline constexpr const char* NoAudioText = "has no audio";

} // namespace bw
