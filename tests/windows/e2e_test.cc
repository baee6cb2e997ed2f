// vmtally.exe started by CreateProcessA with exact command lines, surveying a real Wine
// process whose own walk of its address space says what the report must show; and the
// executable as Windows describes it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "process.h"
#include "texts.h"

namespace vmtally::e2e {
namespace {

const std::string kBanner = texts::kBanner + "\r\n\r\n";
const std::string kUsage = texts::kUsage + "\r\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// The report's rows, as the fixture prints its own: name, count, total, minimum, maximum;
// then "large N" when the report has a threshold line.
std::vector<std::string> ReportAsWalk(const std::string& out) {
  const std::vector<std::string> lines = Lines(out);
  std::vector<std::string> walk;
  for (std::size_t row = 0; row < 6 && 4 + row < lines.size(); ++row) {
    std::istringstream cells(lines[4 + row]);
    std::string name;
    long long minimum = 0, maximum = 0, average = 0, count = 0, total = 0;
    cells >> name >> minimum >> maximum >> average >> count >> total;
    EXPECT_EQ(average, count > 0 && total > 0 ? total / count : 0) << lines[4 + row];
    walk.push_back(name + " " + std::to_string(count) + " " + std::to_string(total) + " " +
                   std::to_string(minimum) + " " + std::to_string(maximum));
  }
  const std::string prefix = "Free block count > 65536: ";
  if (lines.size() == 13 && lines[11].rfind(prefix, 0) == 0) {
    walk.push_back("large " + lines[11].substr(prefix.size()));
  }
  return walk;
}

TEST(FixtureSurveyTest, TheReportAgreesWithTheTargetsOwnWalk) {
  FixtureProcess target;
  const RunResult run =
      RunProgram(VmtallyPath(), "vmtally.exe " + std::to_string(target.processId) + " 65536");
  EXPECT_EQ(run.exitCode, 0U);
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(run.out.substr(0, kBanner.size()), kBanner);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 13U) << run.out;
  EXPECT_EQ(lines[2], texts::kHeader);
  EXPECT_EQ(lines[3], texts::kRule);
  for (std::size_t i = 2; i < 10; ++i) {
    EXPECT_EQ(lines[i].size(), texts::kTableWidth) << lines[i];
  }
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(lines[12], "");
  EXPECT_EQ(ReportAsWalk(run.out), target.Walk());
}

TEST(FixtureSurveyTest, TheStatesSpanTheWholeUserAddressSpace) {
  FixtureProcess target;
  const RunResult run =
      RunProgram(VmtallyPath(), "vmtally.exe " + std::to_string(target.processId));
  const std::vector<std::string> walk = ReportAsWalk(run.out);
  ASSERT_EQ(walk.size(), 6U) << run.out;
  long long span = 0;
  for (std::size_t row = 0; row < 3; ++row) {
    std::istringstream cells(walk[row]);
    std::string name;
    long long count = 0, total = 0;
    cells >> name >> count >> total;
    EXPECT_GT(count, 0) << name;
    span += total;
  }
  EXPECT_EQ(span, 0x7FFF0000LL);  // 0 up to the end of the last region below 0x7FFEFFFF
  for (std::size_t row = 3; row < 6; ++row) {
    EXPECT_NE(walk[row].substr(walk[row].find(' '), 3), " 0 ") << walk[row];
  }
}

// The command line as Windows hands it over, split by the tool's own rules.
TEST(CommandLineTest, SplitsTheTextCreateProcessPasses) {
  FixtureProcess target;
  const std::string pid = std::to_string(target.processId);
  enum Outcome { kUsageOnly, kReport, kReportWithThreshold };
  struct Case {
    std::string commandLine;
    Outcome outcome;
  };
  const std::vector<Case> cases = {
      {"vmtally.exe", kUsageOnly},
      {"vmtally.exe " + pid, kReport},
      {"vmtally.exe " + pid + " 65536", kReportWithThreshold},
      {"vmtally.exe " + pid + " \"\" 65536", kReportWithThreshold},
      {"vmtally.exe \"\" " + pid, kReport},
      {"vmtally.exe \" " + pid + "\"", kReport},
      {"vmtally.exe \"" + pid + " \"", kUsageOnly},
      {"vmtally.exe\t" + pid +
           "\x01"
           "65536\x1f",
       kReportWithThreshold},
      {"vmtally.exe \"" + pid, kReport},
      {"vmtally.exe \"" + pid + " 65536", kUsageOnly},  // one argument, with a blank in it
      {"vmtally.exe " + pid + " \"", kReport},
      {"vmtally.exe " + pid + " 6\"55\"36", kReportWithThreshold},
      {"\"C:\\Program Files\\vm tally\\vmtally.exe\" " + pid + " 65536", kReportWithThreshold},
      {"\"C:\\Program Files\\vm tally\\vmtally.exe " + pid, kUsageOnly},  // all one program path
      {"vmtally.exe " + pid + " 65536 1", kUsageOnly},
      {"vmtally.exe " + pid + " abc", kUsageOnly},
  };
  for (const Case& c : cases) {
    const RunResult run = RunProgram(VmtallyPath(), c.commandLine);
    EXPECT_EQ(run.exitCode, 0U) << c.commandLine;
    const std::vector<std::string> lines = Lines(run.out);
    switch (c.outcome) {
      case kUsageOnly:
        EXPECT_EQ(run.out, kBanner + kUsage) << c.commandLine;
        break;
      case kReport:
        EXPECT_EQ(lines.size(), 11U) << c.commandLine << "\n" << run.out;
        break;
      case kReportWithThreshold:
        ASSERT_EQ(lines.size(), 13U) << c.commandLine << "\n" << run.out;
        EXPECT_EQ(lines[11].rfind("Free block count > 65536: ", 0), 0U) << c.commandLine;
        break;
    }
  }
}

TEST(OpenFailureTest, AnIdThatNamesNoProcess) {
  for (const char* id : {"$FFFFFFF0", "0", "-1"}) {
    const RunResult run = RunProgram(VmtallyPath(), std::string("vmtally.exe ") + id);
    EXPECT_EQ(run.out, kBanner + "Invalid parameter\r\n") << id;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0U);
  }
}

// Standard output that takes nothing: the banner cannot be written, so there is no usage
// line either, and the run ends with exit code 1 and a word on standard error.
TEST(OutputFailureTest, APipeWithoutReader) {
  const RunResult run = RunWithoutReader(VmtallyPath(), "vmtally.exe 0");
  EXPECT_EQ(run.exitCode, 1U);
  EXPECT_EQ(run.err.rfind("vmtally: cannot write to standard output: error ", 0), 0U) << run.err;
  EXPECT_EQ(run.err.substr(run.err.size() - 2), "\r\n");
}

// The version information Explorer's Details tab, inventory and security tools read.
TEST(ExecutableTest, DescribesItselfWithTheProjectsVersion) {
  const std::string path = VmtallyPath();
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
  ASSERT_GT(size, 0U) << "no version information";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

  const auto text = [&info](const std::string& name) -> std::string {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) {
      return "(none)";
    }
    return static_cast<const char*>(value);
  };
  EXPECT_EQ(text("ProductName"), "vmtally");
  EXPECT_EQ(text("ProductVersion"), VMTALLY_VERSION);
  EXPECT_EQ(text("FileVersion"), VMTALLY_VERSION);
  EXPECT_EQ(text("FileDescription"), "vmtally - " VMTALLY_DESCRIPTION);
  EXPECT_EQ(text("LegalCopyright"), VMTALLY_COPYRIGHT);
  EXPECT_EQ(text("OriginalFilename"), "vmtally.exe");
  EXPECT_EQ(text("InternalName"), "vmtally");

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
  const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
  const std::string fixedVersion = std::to_string(HIWORD(fixed.dwProductVersionMS)) + "." +
                                   std::to_string(LOWORD(fixed.dwProductVersionMS)) + "." +
                                   std::to_string(HIWORD(fixed.dwProductVersionLS));
  EXPECT_EQ(fixedVersion, VMTALLY_VERSION);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}

// The manifest asks for the invoking user's rights and no more, and names the Windows
// versions the tool was made for, from Vista (the oldest its imports allow) on.
TEST(ExecutableTest, ItsManifestRunsItAsInvoker) {
  const HMODULE module = LoadLibraryExA(VmtallyPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(resource, nullptr) << "no manifest";
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  const std::string manifest(bytes, SizeofResource(module, resource));
  FreeLibrary(module);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
      << manifest;
  for (const char* windows : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}",     // Vista
                              "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // 10 and 11
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + windows + "\"/>"),
              std::string::npos)
        << windows;
  }
}

}  // namespace
}  // namespace vmtally::e2e
