// The controller address as the user typed it, made into what the link's
// connections use. The same text reaches the dashboard, the command
// connections and the XML-RPC URL, so all three read it the same way here.
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

namespace vx {

// The IPv4 address the text names, read the way the classic inet_addr reads
// it: a.b.c.d, and the short forms a.b.c, a.b and a, each part decimal,
// octal (leading 0) or hexadecimal (leading 0x). Blanks, tabs and line ends
// around the address are ignored (a pasted address often carries one); any
// other text, also after a blank, is no address.
std::optional<in_addr> ParseAddress(const char* text);

// The text to put into a URL: the address in dotted form when the text names
// one (so the URL reaches the same host as the sockets), otherwise the text
// without its surrounding blanks.
std::string UrlHost(const char* text);

} // namespace vx
