#include <gtest/gtest.h>

#include "api/FormEncoding.h"

namespace {

struct TEncodingCase {
  const char* why;
  std::string input;
  std::string expected;
};

TEST(FormEncodingTest, PayloadForm) {
  const TEncodingCase cases[] = {
      {"the relay payload of the worked example", "{\"code\":\"1234\"}",
       "%7b%22code%22%3a%221234%22%7d"},
      {"kept characters pass unchanged", "Az09!$'()*-.@_", "Az09!$'()*-.@_"},
      {"a space becomes plus, a plus is encoded", "a b+c", "a+b%2bc"},
      {"bytes of 128 and more in lower-case hex (cp1252 e acute)", "\xE9\x80\xFF", "%e9%80%ff"},
      {"reserved URL characters are encoded", "&=#%/?~", "%26%3d%23%25%2f%3f%7e"},
      {"stops at the first zero byte", std::string("ab\0cd", 5), "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(formEncode(c.input), c.expected) << c.why;
}

TEST(FormEncodingTest, PostField) {
  const TEncodingCase cases[] = {
      {"the worked example's double encoding", "pl=%7b%22code%22%3a%221234%22%7d",
       "pl=%257b%2522code%2522%253a%25221234%2522%257d"},
      {"a star from the payload becomes %2A", "pl=a*b", "pl=a%2Ab"},
      {"an encoded e acute is encoded again", "pl=%e9", "pl=%25e9"},
      {"login: space, % and # are encoded, & = + are not", "login=a b%c#d&e=f+g",
       "login=a%20b%25c%23d&e=f+g"},
      {"< > [ ] are encoded in upper case", "password=<[x]>", "password=%3C%5Bx%5D%3E"},
      {"bytes below 33 and above 128 are encoded, 128 itself is not",
       "password=\x01\x7f\x80\x81\xE9", "password=%01\x7f\x80%81%E9"},
      {"only the text after the first = is encoded", "p l=a=b c", "p l=a=b%20c"},
  };
  for (const auto& c : cases) EXPECT_EQ(fieldEncode(c.input), c.expected) << c.why;
}

TEST(FormEncodingTest, CredentialsInQueryKeepTheirMeaning) {
  const TEncodingCase cases[] = {
      {"& # = keep their effect in the URL", "a&b#c=d", "a&b#c=d"},
      {"a space would make the whole URL invalid", "a b", "a%20b"},
      {"control bytes and bytes of 128 and more cannot be in a URL", "\x01\x7f\xE9", "%01%7F%E9"},
  };
  for (const auto& c : cases) EXPECT_EQ(urlVerbatim(c.input), c.expected) << c.why;
}

}  // namespace
