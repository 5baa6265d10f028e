// Colour reduction of a large photo-like picture, measured against one plain read pass over
// the same pixel memory (the least any reduction must do), and, where the external convert
// command is installed, against its 256-colour reduction of the same picture.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

#include "colour/MedianCut.h"

namespace {

constexpr int kSide = 4096;

// Smooth gradients and broad waves with a little noise, the same on every run.
std::unique_ptr<TBitmap> MakePhoto() {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(kSide, kSide);
  std::uint32_t state = 0x2545F491u;
  auto noise = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<int>(state % 13) - 6;
  };
  auto clamp = [](double v) { return static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < kSide; ++y) {
    auto* row = static_cast<RGBTRIPLE*>(bitmap->ScanLine(y));
    const double fy = y / double(kSide);
    for (int x = 0; x < kSide; ++x) {
      const double fx = x / double(kSide);
      const double wave = 40 * std::sin(fx * 9.0 + fy * 4.0) + 30 * std::cos(fy * 7.0 - fx * 3.0);
      row[x].rgbtRed = clamp(200 * fx + 30 + wave + noise());
      row[x].rgbtGreen = clamp(180 * fy + 40 - 0.5 * wave + noise());
      row[x].rgbtBlue = clamp(120 * (1 - fx * fy) + 60 + 0.8 * wave + noise());
    }
  }
  return bitmap;
}

TBitmap& Photo() {
  static std::unique_ptr<TBitmap> photo = MakePhoto();
  return *photo;
}

void BM_ReduceColors(benchmark::State& state) {
  TBitmap& photo = Photo();
  for (auto _ : state) {
    auto result = ReduceColors(&photo, 8);
    benchmark::DoNotOptimize(result.get());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSide} * kSide * 3);
}
BENCHMARK(BM_ReduceColors)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainReadPass(benchmark::State& state) {
  TBitmap& photo = Photo();
  for (auto _ : state) {
    // Eight bytes a step, added in 16-bit lanes: a pass that reads every byte about as fast
    // as plain scalar code can, so the ratio is not flattered by a slow baseline.
    std::uint64_t sum = 0;
    for (int y = 0; y < kSide; ++y) {
      const auto* row = static_cast<const BYTE*>(photo.ScanLine(y));
      // 64 steps add at most 64 × 510 to a lane, which a 16-bit lane still holds.
      for (int block = 0; block < kSide * 3; block += 512) {
        std::uint64_t lanes = 0;
        for (int n = block; n < block + 512; n += 8) {
          std::uint64_t word;
          std::memcpy(&word, row + n, sizeof(word));
          lanes += (word & 0x00FF00FF00FF00FFull) + ((word >> 8) & 0x00FF00FF00FF00FFull);
        }
        for (int shift = 0; shift < 64; shift += 16) sum += (lanes >> shift) & 0xFFFF;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSide} * kSide * 3);
}
BENCHMARK(BM_PlainReadPass)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each run's real time per iteration so that main can print the ratio.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

bool WritePpm(const std::string& path) {
  TBitmap& photo = Photo();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fprintf(file, "P6\n%d %d\n255\n", kSide, kSide) > 0;
  std::string rgb(std::size_t{kSide} * 3, '\0');
  for (int y = 0; y < kSide && ok; ++y) {
    const auto* row = static_cast<const RGBTRIPLE*>(photo.ScanLine(y));
    for (int x = 0; x < kSide; ++x) {
      rgb[x * 3] = static_cast<char>(row[x].rgbtRed);
      rgb[x * 3 + 1] = static_cast<char>(row[x].rgbtGreen);
      rgb[x * 3 + 2] = static_cast<char>(row[x].rgbtBlue);
    }
    ok = std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
  }
  return std::fclose(file) == 0 && ok;
}

void ReportExternalReference() {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    std::printf("reference: convert is not installed\n");
    return;
  }
  char path[] = "/tmp/median_cut_bench_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return;
  close(fd);
  const std::string ppm = std::string(path) + ".ppm";
  if (WritePpm(ppm)) {
    const std::string command = "convert '" + ppm + "' +dither -colors 256 null:";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (status == 0)
      std::printf("reference: %s took %.1f ms (wall, including reading the file)\n", command.c_str(),
                  took.count());
    else
      std::printf("reference: convert failed with status %d\n", status);
  }
  std::remove(ppm.c_str());
  std::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Photo();
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto reduce = reporter.seconds.find("BM_ReduceColors/real_time");
  const auto plain = reporter.seconds.find("BM_PlainReadPass/real_time");
  if (reduce != reporter.seconds.end() && plain != reporter.seconds.end() && plain->second > 0)
    std::printf("ReduceColors / plain read pass: %.2f (target at most 6)\n", reduce->second / plain->second);
  ReportExternalReference();
  benchmark::Shutdown();
  return 0;
}
