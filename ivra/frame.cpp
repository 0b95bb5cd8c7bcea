// The dialogue of a run and the reading of "list" and of the series files.
#include "frame.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"
#include "edit.h"
#include "files.h"
#include "freeform.h"
#include "matrix.h"
#include "pwt.h"
#include "runtime.h"

namespace agg {

namespace {

constexpr std::size_t kNameLength = 256;  // a name is the first 256 characters of its line
constexpr int kMinLeng = 64;
constexpr int kMaxLeng = 1 << 30;  // Nfour = 2^31 would leave the 32-bit range

void WriteLines(const std::vector<std::string>& lines) {
  for (const auto& line : lines) rt::WriteFree(line);
}

// A prompt: its lines, then one answer; a read error or a refused answer
// writes all of its lines again and reads a new answer.
template <class Accept>
int AskInt(const std::vector<std::string>& lines, Accept accept) {
  for (;;) {
    WriteLines(lines);
    int value = 0;
    if (rt::ReadInt(value) && accept(value)) return value;
  }
}

double AskDouble(const std::vector<std::string>& lines) {
  for (;;) {
    WriteLines(lines);
    double value = 0.0;
    if (rt::ReadDouble(value)) return value;
  }
}

// A line of "list" as a name: its first 256 characters, blank-filled.
std::string NameField(const std::string& line) {
  std::string name = line.substr(0, kNameLength);
  name.resize(kNameLength, ' ');
  return name;
}

std::string WithoutTrailingBlanks(const std::string& name) {
  const std::size_t end = name.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// The name moved to the left over its leading blanks, blanks filling the end.
std::string WithoutLeadingBlanks(const std::string& name) {
  const std::size_t start = name.find_first_not_of(' ');
  std::string moved = start == std::string::npos ? std::string() : name.substr(start);
  moved.resize(name.size(), ' ');
  return moved;
}

// Passes over `count` lines; false when the file ends before.
bool SkipLines(rt::InputFile& file, int count) {
  std::string line;
  for (int n = 1; n <= count; ++n) {
    if (!file.ReadLine(line)) return false;
  }
  return true;
}

[[noreturn]] void MissingListStop() {
  rt::WriteFree("Input file \"list\" with list of filenames,");
  rt::WriteFree("where time series are located, is absent.");
  rt::WriteFree("Press <Enter> to terminate the program...");
  rt::WaitEnter();
  rt::StopProgram();
}

[[noreturn]] void TooFewSeriesStop() {
  rt::WriteFree("Number of series must be => 3 !");
  rt::WriteFree("Press <Enter> to terminate...");
  rt::WaitEnter();
  rt::StopProgram();
}

// Banner, counting and reading back "list".
void ReadList(const ProgramTraits& traits, RunParams& run, const AllocationHooks& hooks,
              std::vector<std::string>& SerName, std::vector<int>& NRead) {
  WriteLines(traits.banner);
  rt::WriteFree(" ");
  rt::WriteFree("---------------------------------------------------");

  std::unique_ptr<rt::InputFile> list = rt::InputFile::TryOpen("list");
  if (!list) MissingListStop();

  std::string line;
  int Nser = 0;
  while (list->ReadLine(line)) ++Nser;
  run.Nser = Nser;
  rt::WriteFree("Number of series to process =" + rt::FreeInt(Nser));
  if (Nser < 3) TooFewSeriesStop();

  // Stage 1 (names; NRead is the caller's), then the program's own stages.
  if (static_cast<std::int64_t>(Nser) * static_cast<std::int64_t>(kNameLength) > 0xFFFFFFFFLL)
    rt::Fatal(rt::kErrArraySize);
  SerName.assign(Nser, std::string(kNameLength, ' '));
  NRead = rt::AllocInts(Nser);
  if (hooks.afterNser) hooks.afterNser(run);

  list->Rewind();
  for (int i = 1; i <= Nser; ++i) {
    if (!list->ReadLine(line)) break;
    SerName[i - 1] = NameField(line);
  }
}

// Probe of series file 1: lowers Leng to the number of lines it holds after
// the skipped ones.
void ProbeFirstFile(const std::string& name, RunParams& run) {
  rt::InputFile file(WithoutTrailingBlanks(name));
  if (run.Nstart > 1 && !SkipLines(file, run.Nstart - 1)) {
    rt::WriteFree("The file #1 is finished when missing first records !");
    rt::StopProgram();
  }
  std::string line;
  int k = 0;
  while (k < run.Leng && file.ReadLine(line)) ++k;
  if (k < run.Leng) {
    rt::WriteFree("Real number of samples to be processed <=" + rt::FreeInt(k));
    run.Leng = k;
  }
}

// Reads up to Leng values of series i into its row; returns how many were read.
// A line without a value is passed over; the end of the file or a line that
// does not begin with a number ends the series.
int ReadSeriesValues(rt::InputFile& file, const RunParams& run, int i, float* SerCoef) {
  const wv::Mat S{SerCoef, run.Nser};
  std::string line;
  int k = 0;
  while (k < run.Leng) {
    if (!file.ReadLine(line)) break;
    std::size_t pos = 0;
    std::string_view token;
    if (!rt::NextToken(line, pos, token)) continue;
    float value = 0.0f;
    if (!rt::ParseFloat(token, value)) break;
    ++k;
    S(i, k) = value;
  }
  return k;
}

void ReadAllSeries(const ProgramTraits& traits, RunParams& run, std::vector<std::string>& SerName,
                   std::vector<int>& NRead, float* SerCoef) {
  for (int i = 1; i <= run.Nser; ++i) {
    SerName[i - 1] = WithoutLeadingBlanks(SerName[i - 1]);
    rt::InputFile file(WithoutTrailingBlanks(SerName[i - 1]));
    if (run.Nstart > 1 && !SkipLines(file, run.Nstart - 1)) {
      rt::WriteFree("The " + rt::FreeInt(i) + "-th serie is finished.");
      rt::StopProgram();
    }
    NRead[i - 1] = ReadSeriesValues(file, run, i, SerCoef);
    rt::WriteRecord(" From the serie " + SerName[i - 1].substr(0, 15) +
                    rt::EditI(NRead[i - 1], traits.countWidth) + " samples were read.");
  }
}

bool WaveletOrderAccepted(int order) {
  return order >= 2 && order <= 120 && !(order >= 21 && order <= 107) && order % 2 == 0;
}

// Prompts 3 to 8 and the closing blank line.
void AskComputation(RunParams& run) {
  run.Idiff = AskInt({"Do you want to come to incremental (diff.) series (0/1) ?"},
                     [](int v) { return v == 0 || v == 1; });

  // A window below one sample has no range to divide by: refused.
  run.Lwin = AskInt({"Length of adaptation window (number of samples) = ?"},
                    [](int v) { return v >= 1; });
  if (run.Lwin > run.Leng) run.Lwin = run.Leng;

  run.WAVORD = AskInt({"Wavelet order= ? (2,4,6,8,10,12,14,16,18,20) - for usual Daubechies wavelets,",
                       "               (108,110,112,114,116,118,120) - for symlets of order = m-100",
                       "(Sym_02 is Haar, Sym_04 and Sym_06 are Daub_04 and Daub_06)."},
                      WaveletOrderAccepted);
  if (run.WAVORD != 2) wv::PWTSET(run.WAVORD);

  const int LminBound = run.WAVORD + 1;
  run.Lmin = AskInt({"What is the value of Lmin - minimal number",
                     "of wavelet coefficients on the last MRA-level,",
                     "which is sufficient for estimating covariational matrices ?",
                     "(" + rt::FreeInt(LminBound) + "  <= *    )"},
                    [LminBound](int v) { return v >= LminBound; });

  run.Tini = AskDouble({"What is the initial value for time marks in the output files Tini = ?"});

  for (;;) {
    rt::WriteFree("Introduce the step for time marks in the output files: Tstep = Tscale/dT.");
    rt::WriteFree("What are the values of Tscale and dT ?");
    float Tscale = 0.0f;
    float dT = 0.0f;
    if (!rt::ReadRealPair(Tscale, dT)) continue;
    if (dT == 0.0f) continue;
    const double Tstep = double(Tscale) / double(dT);
    if (Tstep <= 0.0) continue;
    run.Tscale = Tscale;
    run.dT = dT;
    run.Tstep = Tstep;
    break;
  }

  rt::WriteFree(" ");
}

}  // namespace

bool TransformLength(int Leng, int& p, int& Nfour) {
  if (Leng > kMaxLeng) return false;
  int levels = 1;
  int length = 2;
  while (length < Leng) {
    ++levels;
    length *= 2;
  }
  p = levels;
  Nfour = length;
  return true;
}

void RunDialogue(const ProgramTraits& traits, RunParams& run, std::vector<float>& SerCoef,
                 const AllocationHooks& hooks) {
  std::vector<std::string> SerName;
  std::vector<int> NRead;
  ReadList(traits, run, hooks, SerName, NRead);

  run.Nstart = AskInt({"What is the number of sample to start from = ?"},
                      [](int v) { return v > 0; });
  run.Leng = AskInt({"What is the desirable number of samples to be processed ?", "64 <= Leng"},
                    [](int v) { return v >= kMinLeng; });

  ProbeFirstFile(SerName[0], run);
  if (!TransformLength(run.Leng, run.p, run.Nfour))
    rt::StopProgram("The real time window is too long !");
  rt::WriteFree("Nfour=" + rt::FreeInt(run.Nfour));
  SerCoef = rt::AllocReals(static_cast<std::int64_t>(run.Nser) * run.Nfour);
  if (hooks.afterNfour) hooks.afterNfour(run);

  ReadAllSeries(traits, run, SerName, NRead, SerCoef.data());

  int Leng = NRead[0];
  for (int i = 2; i <= run.Nser; ++i) {
    if (NRead[i - 1] < Leng) Leng = NRead[i - 1];
  }
  run.Leng = Leng;
  rt::WriteFree("Real number of samples to be processed =" + rt::FreeInt(run.Leng));
  if (run.Leng < kMinLeng) rt::StopProgram("The real time window is too short !");

  const wv::Mat S{SerCoef.data(), run.Nser};
  for (int i = 1; i <= run.Nser; ++i) {
    for (int k = run.Leng + 1; k <= run.Nfour; ++k) S(i, k) = 0.0f;
  }

  AskComputation(run);
}

}  // namespace agg
