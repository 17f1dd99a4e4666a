// The stages' reports as the error page names them: each download outcome and each unpack
// problem becomes its reason, through the real translation table in English.
#include <gtest/gtest.h>

#include "builder/stage_outcomes.h"
#include "tests/support/test_window_view.h"
#include "urar/urar.h"

namespace {

std::wstring EnglishLine(const BuildFailure& failure) {
  TestWindowView view(0x0409);
  return FailureLine(failure, [&view](const wchar_t* key) { return view.LookupTranslation(key); });
}

TEST(StageOutcomes, DownloadOutcomesNameTheirReason) {
  // A value the download engine may add later is named as a failed download.
  const auto unknown = static_cast<DownloadFailure>(99);
  const struct {
    DownloadFailure failure;
    DWORD status;
    const wchar_t* line;
  } cases[] = {
      {DownloadFailure::Unreachable, 0, L"Download: the server could not be reached."},
      {DownloadFailure::HttpStatus, 503,
       L"Download: the server did not send system.zip (status 503)."},
      {DownloadFailure::CutOff, 200, L"Download: the download of system.zip was cut off."},
      {DownloadFailure::TimedOut, 200, L"Download: the download of system.zip was cut off."},
      {DownloadFailure::FileWrite, 200, L"Download: system.zip could not be saved."},
      {DownloadFailure::TooLong, 200, L"Download: system.zip is larger than expected."},
      {DownloadFailure::NoRoom, 200, L"Download: there is not enough free space for system.zip."},
      {DownloadFailure::NotStarted, 0, L"Download: the download of system.zip failed."},
      {unknown, 0, L"Download: the download of system.zip failed."},
      {DownloadFailure::Cancelled, 0, L"The build was stopped."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.failure));
    DownloadOutcome outcome;
    outcome.failure = c.failure;
    outcome.http_status = c.status;
    EXPECT_EQ(EnglishLine(DownloadFailureOf(outcome, L"system.zip")), c.line);
  }
  EXPECT_STREQ(DownloadOutcomeText(unknown), L"failed");
}

TEST(StageOutcomes, UnpackProblemsNameTheirReason) {
  const struct {
    UnpackProblem problem;
    const wchar_t* entry;
    const wchar_t* line;
  } cases[] = {
      {UnpackProblem::kNotBound, L"", L"Unpacking: the extraction library could not be loaded."},
      {UnpackProblem::kUnreadableArchive, L"", L"Unpacking: the archive scanner.zip is damaged."},
      {UnpackProblem::kNotAnArchive, L"", L"Unpacking: the archive scanner.zip is damaged."},
      {UnpackProblem::kArchiveCut, L"", L"Unpacking: the archive scanner.zip is damaged."},
      {UnpackProblem::kNoEntries, L"", L"Unpacking: the archive scanner.zip is damaged."},
      {UnpackProblem::kEntryFailed, L"boot\\a.bin",
       L"Unpacking: the archive scanner.zip is damaged."},
      {UnpackProblem::kUnsafeName, L"..\\escaped.txt",
       L"Unpacking: scanner.zip was refused to protect this computer, because of its entry "
       L"..\\escaped.txt"},
      {UnpackProblem::kEntryTooLarge, L"big.bin",
       L"Unpacking: scanner.zip was refused to protect this computer, because of its entry "
       L"big.bin"},
      {UnpackProblem::kNotEnoughSpace, L"", L"Unpacking: not enough free space on D:."},
      // Out of memory or disk is never reported as damage.
      {UnpackProblem::kDiskFull, L"boot\\a.bin", L"Unpacking: not enough free space on D:."},
      {UnpackProblem::kNoMemory, L"boot\\a.bin",
       L"Unpacking: not enough memory to unpack scanner.zip."},
      {UnpackProblem::kCancelled, L"", L"The build was stopped."},
      {UnpackProblem::kWriteFailed, L"boot\\a.bin",
       L"Unpacking: boot\\a.bin could not be written."},
      // The free space could not be read: no entry to name, so the archive is named.
      {UnpackProblem::kWriteFailed, L"", L"Unpacking: scanner.zip could not be written."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.problem));
    UnpackReport report;
    report.problem = c.problem;
    report.entry = c.entry;
    EXPECT_EQ(EnglishLine(UnpackFailureOf(report, L"scanner.zip", L"D:")), c.line);
  }
  // An entry whose filters spent the archive's work budget is not called damaged.
  UnpackReport heavy;
  heavy.problem = UnpackProblem::kEntryFailed;
  heavy.library_code = URAR_ENTRY_TOO_MUCH_WORK;
  EXPECT_EQ(EnglishLine(UnpackFailureOf(heavy, L"scanner.zip", L"D:")),
            L"Unpacking: the archive scanner.zip asks for too much work.");
}

}  // namespace
