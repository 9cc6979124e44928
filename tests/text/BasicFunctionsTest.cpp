#include <gtest/gtest.h>

#include "TestUtil.h"
#include "text/KVTypes.h"

using namespace kv;

TEST(TransliterateUmlauts, ReplacesTheSixUmlautsLiterally) {
  EXPECT_EQ(TransliterateUmlauts(u"\u00C4\u00D6\u00DC"), u"AE\\uFFFDOE\\uFFFDue\\uFFFD");
  EXPECT_EQ(TransliterateUmlauts(u"\u00E4\u00F6\u00FC"), u"ae\\uFFFDoe\\uFFFDue\\uFFFD");
  EXPECT_EQ(TransliterateUmlauts(u"Stra\u00DFe"), u"Stra\u00DFe");
  EXPECT_EQ(TransliterateUmlauts(u""), u"");
}

TEST(CompareTextIgnoreCase, IgnoresCaseAndTranscribesUmlauts) {
  EXPECT_EQ(CompareTextIgnoreCase(u"abc", u"ABC"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"\u00E4", u"\u00C4"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"\u00DC", u"\u00FC"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"a", u"b"), -1);
  EXPECT_EQ(CompareTextIgnoreCase(u"b", u"a"), 1);
  EXPECT_EQ(CompareTextIgnoreCase(u"ab", u"abc"), -1);
  EXPECT_EQ(CompareTextIgnoreCase(u"", u""), 0);
  // The transcription's backslash follows every capital letter.
  EXPECT_EQ(CompareTextIgnoreCase(u"\u00C4rger", u"Aez"), 1);
  EXPECT_EQ(CompareTextIgnoreCase(u"\u00C4", u"AE\\uFFFD"), 0);
}

TEST(NameBeforeEqualsMatches, ComparesTheNamePartOnly) {
  EXPECT_TRUE(NameBeforeEqualsMatches(u"Key=1", u"key"));
  EXPECT_TRUE(NameBeforeEqualsMatches(u"key=", u"KEY"));
  EXPECT_FALSE(NameBeforeEqualsMatches(u"key", u"key"));
  EXPECT_FALSE(NameBeforeEqualsMatches(u"key =1", u"key"));
  EXPECT_FALSE(NameBeforeEqualsMatches(u"keys=1", u"key"));
  EXPECT_TRUE(NameBeforeEqualsMatches(u"=1", u""));
}

TEST(ExtractPathUpToDelimiter, CutsAtTheLastDelimiterOrColon) {
  EXPECT_EQ(ExtractPathUpToDelimiter(u"C:\\dir\\file.txt", u"\\"), u"C:\\dir\\");
  EXPECT_EQ(ExtractPathUpToDelimiter(u"C:file.txt", u"\\"), u"C:");
  EXPECT_EQ(ExtractPathUpToDelimiter(u"file.txt", u"\\"), u"");
  EXPECT_EQ(ExtractPathUpToDelimiter(u"a/b\\c", u"/"), u"a/");
}

TEST(FileExistsEx, FilesButNotFolders) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("x.txt"), "1");
  EXPECT_TRUE(FileExistsEx(dir.File("x.txt")));
  EXPECT_FALSE(FileExistsEx(dir.Path()));
  EXPECT_FALSE(FileExistsEx(dir.File("missing.txt")));
  EXPECT_FALSE(FileExistsEx(u"\\\\nosuchserver-kv\\share\\x.txt"));
}
