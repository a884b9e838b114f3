#include <gtest/gtest.h>

#include <regex>

#include "api/DigestAuth.h"
#include "base/Text.h"

namespace {

// The plain quote-splitting reader the panels' first clients used: every WWW-Authenticate text
// split at double quotes, a piece that contains one of the four names (in this order) makes it
// pending, the next other piece is its value. Kept here to show that ours reads every ordinary
// challenge the same way.
TDigestChallenge quoteSplitReader(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l;
  std::vector<std::string> pieces = splitFields(all, '"');
  TDigestChallenge c;
  std::string* pending = nullptr;
  for (const std::string& p : pieces) {
    if (p.find("realm") != std::string::npos) {
      pending = &c.realm;
    } else if (p.find("qop") != std::string::npos) {
      pending = &c.qop;
    } else if (p.find("nonce") != std::string::npos) {
      pending = &c.nonce;
    } else if (p.find("opaque") != std::string::npos) {
      pending = &c.opaque;
    } else {
      if (pending != nullptr) *pending = p;
      pending = nullptr;
    }
  }
  return c;
}

TEST(DigestChallengeTest, OrdinaryChallengesReadAsTheQuoteSplitReaderDoes) {
  const char* challenges[] = {
      R"(Digest realm="r", nonce="n", algorithm=MD5, qop="auth", opaque="o")",
      R"(Digest realm="r", nonce="n", algorithm=MD5, qop="auth")",
      R"(Digest realm="r", nonce="n", qop="auth,auth-int", algorithm=MD5)",
      R"(Digest qop="auth", realm="panel@door", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")",
      R"(Digest realm="", nonce="abc=", opaque="5ccc069c403ebaf9f0171e9517f40e41")",
      R"(Digest realm="a b, c", nonce="x y", stale=FALSE, algorithm="MD5")",
      R"(Digest realm="r",nonce="n",qop="auth",opaque="o",algorithm=MD5)",
  };
  for (const char* text : challenges) {
    TDigestChallenge expected = quoteSplitReader({text});
    TAuthChallenges ours = readChallenges({text});
    EXPECT_EQ(ours.chosen, EAuthScheme::Digest) << text;
    EXPECT_EQ(ours.digest.realm, expected.realm) << text;
    EXPECT_EQ(ours.digest.nonce, expected.nonce) << text;
    EXPECT_EQ(ours.digest.qop, expected.qop) << text;
    EXPECT_EQ(ours.digest.opaque, expected.opaque) << text;
  }
}

TEST(DigestChallengeTest, ValuesAreReadAsValuesNotAsNames) {
  struct TCase {
    const char* why;
    std::vector<std::string> lines;
    TDigestChallenge expected;
    EAuthScheme chosen;
  };
  const TCase cases[] = {
      {"a nonce holding the word realm is still the nonce",
       {R"(Digest realm="r", nonce="realm42", qop="auth", algorithm=MD5)"},
       {"r", "realm42", "auth", "", "MD5"},
       EAuthScheme::Digest},
      {"a realm holding the word nonce does not swallow the nonce",
       {R"(Digest realm="nonce-land", nonce="n1", qop="auth", algorithm=MD5)"},
       {"nonce-land", "n1", "auth", "", "MD5"},
       EAuthScheme::Digest},
      {"backslash escapes inside a quoted value",
       {R"(Digest realm="say \"hi\" \\ there", nonce="n", algorithm=MD5)"},
       {R"(say "hi" \ there)", "n", "", "", "MD5"},
       EAuthScheme::Digest},
      {"names match case-insensitively, an unquoted qop is read",
       {R"(Digest REALM="r", Nonce="n", qop=auth, ALGORITHM=md5)"},
       {"r", "n", "auth", "", "md5"},
       EAuthScheme::Digest},
      {"a name merely containing realm is not realm",
       {R"(Digest xrealm="bad", realm="good", nonce="n", algorithm=MD5)"},
       {"good", "n", "", "", "MD5"},
       EAuthScheme::Digest},
      {"Basic first answers by Basic; the Digest values come from the Digest line",
       {R"(Basic realm="basic-realm")", R"(Digest realm="dr", nonce="dn", algorithm=MD5)"},
       {"dr", "dn", "", "", "MD5"},
       EAuthScheme::Basic},
      {"two challenges on one line",
       {R"(Newauth realm="apps", type=1, Digest realm="d", nonce="x", algorithm=MD5)"},
       {"d", "x", "", "", "MD5"},
       EAuthScheme::Digest},
      {"an unknown scheme alone answers nothing", {R"(Bearer realm="x")"}, {}, EAuthScheme::None},
  };
  for (const auto& c : cases) {
    TAuthChallenges got = readChallenges(c.lines);
    EXPECT_EQ(got.chosen, c.chosen) << c.why;
    EXPECT_EQ(got.digest.realm, c.expected.realm) << c.why;
    EXPECT_EQ(got.digest.nonce, c.expected.nonce) << c.why;
    EXPECT_EQ(got.digest.qop, c.expected.qop) << c.why;
    EXPECT_EQ(got.digest.opaque, c.expected.opaque) << c.why;
    EXPECT_EQ(got.digest.algorithm, c.expected.algorithm) << c.why;
  }
}

TEST(DigestChallengeTest, PeerValuesAreBoundedAndCarryNoLineBreaks) {
  std::string huge(5000, 'a');
  TAuthChallenges got =
      readChallenges({"Digest realm=\"" + huge + "\", nonce=\"a\r\nX-Injected: 1\", opaque=\"o"});
  EXPECT_EQ(got.digest.realm.size(), TDigestChallenge::MaxValueBytes);
  EXPECT_EQ(got.digest.nonce, "aX-Injected: 1");
  EXPECT_EQ(got.digest.opaque, "o") << "an unterminated quoted value ends with the text";
}

TEST(DigestChallengeTest, OnlyMd5IsAnswered) {
  EXPECT_TRUE(digestAlgorithmSupported("MD5"));
  EXPECT_TRUE(digestAlgorithmSupported("md5"));
  EXPECT_FALSE(digestAlgorithmSupported(""));
  EXPECT_FALSE(digestAlgorithmSupported("MD5-sess"));
  EXPECT_FALSE(digestAlgorithmSupported("SHA-256"));
}

TEST(DigestHeaderTest, MatchesTheRfc2617WorkedExample) {
  // RFC 2617 section 3.5, computed independently of this code.
  TDigestChallenge c{"testrealm@host.com",
                     "dcd98b7102dd2f0e8b11d0f600bfb0c093",
                     "auth",
                     "5ccc069c403ebaf9f0171e9517f40e41",
                     "MD5",
                     true};
  std::string header =
      buildDigestHeader(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "0a4f113b");
  EXPECT_EQ(header,
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", qop=\"auth\", "
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", algorithm=MD5, "
            "uri=\"/dir/index.html\", nc=00000001, cnonce=\"0a4f113b\", "
            "response=\"6629fae49393a05397450978507c4ef1\", "
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
}

TEST(DigestHeaderTest, EmptyFieldsAreWrittenAndQopEntersTheDigestAsReceived) {
  TDigestChallenge c{"r", "n", "auth,auth-int", "", "MD5", true};
  std::string header = buildDigestHeader(c, "u", "p", "GET", "/api/remote/?pl=x", "c");
  std::string ha1 = md5Hex("u:r:p");
  std::string ha2 = md5Hex("GET:/api/remote/?pl=x");
  std::string response = md5Hex(ha1 + ":n:00000001:c:auth,auth-int:" + ha2);
  EXPECT_NE(header.find("qop=\"auth,auth-int\""), std::string::npos) << header;
  EXPECT_NE(header.find("response=\"" + response + "\""), std::string::npos) << header;
  EXPECT_TRUE(header.ends_with(", opaque=\"\"")) << "an empty opaque that was sent comes back";
  c.hasOpaque = false;
  header = buildDigestHeader(c, "u", "p", "GET", "/", "c");
  EXPECT_EQ(header.find("opaque"), std::string::npos) << "none sent, none returned: " << header;
  EXPECT_FALSE(readChallenges({R"(Digest realm="r", nonce="n", algorithm=MD5)"}).digest.hasOpaque);
  EXPECT_TRUE(readChallenges({R"(Digest realm="r", opaque="")"}).digest.hasOpaque);
}

TEST(DigestHeaderTest, QuotesInValuesAreEscapedSoTheHeaderStaysWellFormed) {
  TDigestChallenge c{"a\"b", "n\\", "auth", "", "MD5"};
  std::string header = buildDigestHeader(c, "u\"x", "p", "GET", "/", "c");
  EXPECT_NE(header.find(R"(username="u\"x", realm="a\"b")"), std::string::npos) << header;
  EXPECT_NE(header.find(R"(nonce="n\\")"), std::string::npos) << header;
}

TEST(DigestHeaderTest, CnonceIs32LowerHexAndUnpredictable) {
  std::string a = makeCnonce();
  std::string b = makeCnonce();
  EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{32}"))) << a;
  EXPECT_NE(a, b) << "two answers within the same second must differ";
}

TEST(DigestHeaderTest, BasicHeader) {
  EXPECT_EQ(buildBasicHeader("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

}  // namespace
