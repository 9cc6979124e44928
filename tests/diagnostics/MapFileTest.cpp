// The symbol map reader, address lookup and the three forms of stack lines.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "diagnostics/KVDebugInfo.h"
#include "diagnostics/KVMapFile.h"

using namespace kv;

namespace {

const std::string kMap =
    "KVMAP 1 00ff\n"
    "F KVBigIni.cpp\n"
    "F vector\n"
    "P 1000 40 0 100 kv::TBigIniFile::Load\n"
    "P 1040 20 - 0 memcpy\n"
    "P 1080 30 0 200 KVBigIni.Helper\n"
    "L 1000 100 0\n"
    "L 1008 102 0\n"
    "L 1010 57 1\n"
    "L 1018 105 0\n"
    "L 1040 0 -\n"
    "L 1080 200 0\n"
    "L 10b0 0 -\n"
    "END 2 3 7\n";

std::string WithLine(std::string map, const std::string& find, const std::string& replace) {
  std::size_t at = map.find(find);
  if (at != std::string::npos) map.replace(at, find.size(), replace);
  return map;
}

String Hex(std::uint64_t v) { return HexDigits(v, 2 * sizeof(std::uintptr_t)); }

}  // namespace

TEST(MapFile, FindsProceduresAndLinesOfAWellFormedMap) {
  TMapFile map;
  ASSERT_TRUE(map.Parse(kMap, "00ff"));
  EXPECT_EQ(map.BuildId(), "00ff");
  ASSERT_EQ(map.Procedures().size(), 3u);

  const TMapFile::TProcedure* p = map.FindProcedure(0x1000);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Name, "kv::TBigIniFile::Load");
  EXPECT_EQ(map.FindProcedure(0x103f), p);
  EXPECT_EQ(map.FindProcedure(0x1040)->Name, "memcpy");
  // Between procedures and before the first one: none.
  EXPECT_EQ(map.FindProcedure(0x1060), nullptr);
  EXPECT_EQ(map.FindProcedure(0xfff), nullptr);
  EXPECT_EQ(map.FindProcedure(0x10b0), nullptr);

  EXPECT_EQ(map.FindLine(0x100c)->Line, 102);
  EXPECT_EQ(map.FileName(map.FindLine(0x1012)->File), "vector");
  // Line 0 ends a run of lines: the code of memcpy has none.
  EXPECT_EQ(map.FindLine(0x1044), nullptr);
  EXPECT_EQ(map.FindLine(0xfff), nullptr);
  EXPECT_EQ(map.FileName(7), "");
}

TEST(MapFile, RecordsOutOfOrderAndWindowsLineEndsAreAccepted) {
  TMapFile map;
  std::string unsorted =
      "KVMAP 1 -\r\nF a.cpp\r\nP 2000 10 0 5 Second\r\nP 1000 10 0 1 First\r\nL 2000 5 0\r\nL 1000 1 0\r\nEND 1 2 2\r\n";
  ASSERT_TRUE(map.Parse(unsorted, "1234"));  // a map without build id fits any module
  EXPECT_EQ(map.FindProcedure(0x1004)->Name, "First");
  EXPECT_EQ(map.FindLine(0x1004)->Line, 1);
  EXPECT_EQ(map.FindLine(0x2004)->Line, 5);
}

TEST(MapFile, AnythingButAWholeMapOfTheModuleGivesNoSymbols) {
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"a foreign file", "[AutoRun]\nopen=Install.exe\n"},
      {"another format version", WithLine(kMap, "KVMAP 1 ", "KVMAP 2 ")},
      {"another build", WithLine(kMap, "00ff", "00fe")},
      {"truncated before its end", kMap.substr(0, kMap.find("END"))},
      {"truncated inside a record", kMap.substr(0, kMap.find("L 1018") + 4)},
      {"a count that does not match", WithLine(kMap, "END 2 3 7", "END 2 3 6")},
      {"text after the end", kMap + "P 2000 10 - 0 Late\n"},
      {"a bad address", WithLine(kMap, "P 1040", "P 10x0")},
      {"an address beyond 64 bits", WithLine(kMap, "P 1040", "P 10000000000000000")},
      {"an unknown file", WithLine(kMap, "L 1010 57 1", "L 1010 57 2")},
      {"a negative line", WithLine(kMap, "L 1010 57 1", "L 1010 -57 1")},
      {"a procedure without name", WithLine(kMap, " memcpy\n", "\n")},
      {"a control character in a name", WithLine(kMap, "memcpy", "mem\x01" "cpy")},
      {"an unknown record", WithLine(kMap, "L 1040 0 -", "X 1040 0 -")},
      {"an empty line", WithLine(kMap, "F vector\n", "F vector\n\n")},
      {"a range past the end of memory", WithLine(kMap, "P 1040 20", "P ffffffffffffffff 20")},
      {"a bad build id", WithLine(kMap, "00ff", "00FF")},
  };
  for (const auto& [what, text] : cases) {
    TMapFile map;
    EXPECT_FALSE(map.Parse(text, "00ff")) << what;
    EXPECT_TRUE(map.Empty()) << what;
    EXPECT_EQ(map.FindProcedure(0x1000), nullptr) << what;
  }
}

TEST(MapFile, MissingEmptyAndCorruptFilesGiveFramesWithoutSymbols) {
  kvtest::TempDir dir;
  kvtest::WriteBytes(dir.NativeFile("empty.map"), "");
  kvtest::WriteBytes(dir.NativeFile("corrupt.map"), WithLine(kMap, "L 1018 105 0", "L 1018 1#5 0"));
  kvtest::WriteBytes(dir.NativeFile("good.map"), kMap);
  for (const char* name : {"missing.map", "empty.map", "corrupt.map"}) {
    TMapFile map;
    EXPECT_FALSE(map.LoadFromFile(dir.File(name), "00ff")) << name;
    TFrameInfo info;
    info.Address = 0x401008;
    info.ModuleBase = 0x400000;
    info.ModuleName = u"Autorun.exe";
    LocateInMap(map, info.Address, false, info);
    EXPECT_EQ(FormatStackLine(info), u"(" + Hex(0x8) + u"){Autorun.exe } [" + Hex(0x401008) + u"]") << name;
  }
  TMapFile good;
  EXPECT_TRUE(good.LoadFromFile(dir.File("good.map"), "00ff"));
  EXPECT_FALSE(good.LoadFromFile(dir.File("good.map"), "abcd"));
}

TEST(StackLine, TheThreeFormsOfTheFailureReport) {
  TMapFile map;
  ASSERT_TRUE(map.Parse(kMap));
  const std::uintptr_t base = 0x400000;
  auto line = [&](std::uintptr_t address, bool isReturn) {
    TFrameInfo info;
    info.Address = address;
    info.ModuleBase = base;
    info.ModuleName = u"Autorun.exe";
    LocateInMap(map, address, isReturn, info);
    return FormatStackLine(info);
  };
  // With line: the unit is the source file's name without extension; lines
  // count from the procedure's first line; the offset from the line's start.
  EXPECT_EQ(line(base + 0x100b, false), u"(" + Hex(0xb) + u"){Autorun.exe } [" + Hex(base + 0x100b) +
                                           u"] KVBigIni.kv::TBigIniFile::Load (Line 102, \"KVBigIni.cpp\" + 2) + $3");
  // A line of another file (inlined code): no line offset.
  EXPECT_EQ(line(base + 0x1012, false),
            u"(" + Hex(0x12) + u"){Autorun.exe } [" + Hex(base + 0x1012) +
                u"] KVBigIni.kv::TBigIniFile::Load (Line 57, \"vector\") + $2");
  // With a procedure but no line (and no unit): the offset from the procedure's start.
  EXPECT_EQ(line(base + 0x1044, false),
            u"(" + Hex(0x44) + u"){Autorun.exe } [" + Hex(base + 0x1044) + u"] memcpy + $4");
  // A procedure named with its unit in front: the unit is not written twice.
  EXPECT_EQ(line(base + 0x1081, false), u"(" + Hex(0x81) + u"){Autorun.exe } [" + Hex(base + 0x1081) +
                                           u"] KVBigIni.Helper (Line 200, \"KVBigIni.cpp\" + 0) + $1");
  // Without symbols.
  EXPECT_EQ(line(base + 0x1060, false), u"(" + Hex(0x60) + u"){Autorun.exe } [" + Hex(base + 0x1060) + u"]");
  // A return address right after the procedure's last call is named by that call.
  EXPECT_EQ(line(base + 0x1040, true), u"(" + Hex(0x40) + u"){Autorun.exe } [" + Hex(base + 0x1040) +
                                          u"] KVBigIni.kv::TBigIniFile::Load (Line 105, \"KVBigIni.cpp\" + 5) + $28");
}

TEST(StackLine, ModuleNamesAreNotCutAndAddressesBeforeAStartCountBackwards) {
  TFrameInfo info;
  info.Address = 0x1000;
  info.ModuleBase = 0x1000;
  info.ModuleName = u"AVeryLongModuleName.dll";
  info.HasProcedure = true;
  info.ProcedureName = u"Start";
  info.ProcedureStart = 0x1010;
  // The virtual address of an address at the image base lies 4096 before it.
  EXPECT_EQ(FormatStackLine(info), u"(" + HexDigits(std::uintptr_t(0) - 4096, 2 * sizeof(std::uintptr_t)) +
                                       u"){AVeryLongModuleName.dll} [" + Hex(0x1000) + u"] Start - $10");
  info.ModuleName.clear();
  info.HasProcedure = false;
  EXPECT_EQ(FormatStackLine(info).substr(2 + 2 * sizeof(std::uintptr_t)), u"{            } [" + Hex(0x1000) + u"]");
}

TEST(StackLine, TheMapLiesBesideTheModuleWithTheExtensionMap) {
  EXPECT_EQ(MapFileName(u"C:\\Medium\\Autorun.exe"), u"C:\\Medium\\Autorun.map");
  EXPECT_EQ(MapFileName(u"\\usr\\bin\\kvini"), u"\\usr\\bin\\kvini.map");
  EXPECT_EQ(MapFileName(u"C:\\a.b\\prog"), u"C:\\a.b\\prog.map");
  EXPECT_EQ(MapFileName(u"C:\\dir\\.hidden"), u"C:\\dir\\.hidden.map");
  EXPECT_EQ(MapFileName(u"lib.so.6"), u"lib.so.map");
}
