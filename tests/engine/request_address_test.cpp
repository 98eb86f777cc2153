#include "engine/request_address.h"

#include <gtest/gtest.h>

#include <string>

namespace verdigo {
namespace {

struct Case {
  const char* why;
  std::string address;
  std::string sent;
};

TEST(EncodeAddressForRequest, SendsUtf8PercentEncodedAndHostNamesInTheirIdnaForm) {
  const std::string untouched = "http://u:p@h:8/%20a~b!$&'()*+,;=?q=\"<>{}|\\^`[]#frag";
  const Case cases[] = {
      {"plain ASCII stays", untouched, untouched},
      {"nothing", "", ""},
      {"space", "http://h/a b", "http://h/a%20b"},
      {"controls", std::string("http://h/\t\r\n\x1F\x7F\0", 15), "http://h/%09%0D%0A%1F%7F%00"},
      {"UTF-8 path and query", "http://h/caf\xC3\xA9?q=\xE2\x82\xAC#\xC3\xA9",
       "http://h/caf%C3%A9?q=%E2%82%AC#%C3%A9"},
      {"code-page path", "http://h/caf\xE9?q=\x80", "http://h/caf%C3%A9?q=%E2%82%AC"},
      // One byte that is not UTF-8 makes the whole address code-page text.
      {"mixed", "http://h/\xC3\xA9\xE9", "http://h/%C3%83%C2%A9%C3%A9"},
      {"undefined code-page byte", "http://h/\x81", "http://h/%C2%81"},
      {"UTF-8 host",
       "http://b\xC3\xBC"
       "cher.example/",
       "http://xn--bcher-kva.example/"},
      {"code-page host",
       "http://b\xFC"
       "cher.example/\xE9",
       "http://xn--bcher-kva.example/%C3%A9"},
      {"capitals map",
       "http://B\xC3\x9C"
       "CHER.example",
       "http://xn--bcher-kva.example"},
      {"user, port, query",
       "https://\xC3\xBC:p@b\xC3\xBC"
       "cher.example:8080?\xC3\xBC",
       "https://%C3%BC:p@xn--bcher-kva.example:8080?%C3%BC"},
      {"ASCII host left alone", "http://EXAMPLE.com/\xC3\xA9", "http://EXAMPLE.com/%C3%A9"},
      {"IPv6 host", "http://[::1]:80/\xC3\xA9", "http://[::1]:80/%C3%A9"},
      {"no scheme: no host",
       "b\xC3\xBC"
       "cher/x",
       "b%C3%BCcher/x"},
      {"\"://\" in a query", "mailto:a?b=http://\xC3\xBC", "mailto:a?b=http://%C3%BC"},
      // A label may not begin with a combining mark.
      {"refused host",
       "http://\xCC\x81"
       "a.x/",
       "http://%CC%81a.x/"},
      {"NUL in a host", std::string("http://\xC3\xBC\0x/", 12), "http://%C3%BC%00x/"},
      // A full-width solidus maps to "/": it would send another address.
      {"mapped to a separator",
       "http://a\xEF\xBC\x8F"
       "b\xC3\xBC.x/",
       "http://a%EF%BC%8Fb%C3%BC.x/"},
      // Refused as nontransitional, taken as transitional: as libcurl does.
      {"transitional host", "http://\xE2\x98\x83.x/", "http://xn--n3h.x/"},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeAddressForRequest(c.address), c.sent) << c.why;
}

}  // namespace
}  // namespace verdigo
