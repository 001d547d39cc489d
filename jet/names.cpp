#include "jet/names.h"

#include "jet/database.h"
#include "jet/text.h"

namespace jet {

void checkName(const std::string& name, const char* what) {
  auto bad = [&](const std::string& why) {
    throw Error(Error::Code::InvalidName, std::string("invalid ") + what + " name '" + name + "': " + why);
  };
  std::u16string u;
  try {
    u = utf8ToUtf16(name);
  } catch (const Error&) {
    bad("not valid UTF-8");
  }
  if (u.empty()) bad("the name is empty");
  if (u.size() > 64) bad("longer than 64 characters");
  if (u[0] == u' ') bad("it starts with a blank");
  for (char16_t c : u) {
    if (c < 0x20 || c == 0x7F) bad("it contains a control character");
    if (c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
      bad("it contains one of . ! ` [ ]");
  }
}

std::u16string foldName(const std::string& name) {
  std::u16string u = utf8ToUtf16(name);
  for (char16_t& c : u) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
      c = char16_t(c + 32);
    else if (c >= 0x400 && c <= 0x40F)
      c = char16_t(c + 80);
    else if (c >= 0x100 && c <= 0x17F && (c & 1) == 0 && c != 0x130 && c != 0x138)
      c = char16_t(c + 1);
  }
  return u;
}

}  // namespace jet
