#pragma once

#include <string>

namespace verdigo {

// The address as a browser sends it. Its bytes are taken as UTF-8 when they
// are valid UTF-8, else as code-page text (a Latin-1 list, text typed in the
// window) and turned into UTF-8. Space, control characters and every byte
// above 127 are percent-encoded, everything else stands as it is (a "%20"
// already there stays); only a host name goes out in its IDNA form
// ("xn--…"), the name resolvers know it by; one that IDNA refuses is
// percent-encoded as the rest, and its download fails.
std::string EncodeAddressForRequest(const std::string& url);

}  // namespace verdigo
