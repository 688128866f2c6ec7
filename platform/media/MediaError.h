#pragma once

#include <stdexcept>

namespace bw::media {

// A failure of the media layer, with a text a user can act on.
class TMediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace bw::media
