// Reading a huge settings file with the portable profile: the thirteen keys of LoadSettings from
// 16 MB of line ends (the case of a file that a tool filled with empty lines) and from 16 MB of
// keys. The file is read and parsed once per load; bytes per second count the file once.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "settings/Profile.h"
#include "settings/SettingsStore.h"

namespace {

enum FileShape { kLineEnds, kKeys };

constexpr std::size_t kFileBytes = 16u << 20;

// The file in a memory file system where there is one, so that the disk does not count.
std::string WriteSettingsFile(FileShape shape) {
  const std::filesystem::path folder =
      access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
  const std::string path =
      (folder / ("velmora-settings-bench-" + std::to_string(getpid()) + ".ini")).string();
  // The key read last in the file's first section, after the line ends or the other keys.
  const std::string tail = "Input=in.csv\r\n";
  std::string bytes;
  if (shape == kLineEnds) {
    bytes.assign(kFileBytes - tail.size() - 12, '\n');
    bytes.append("[Settings]\r\n");
  } else {
    bytes = "[Settings]\r\n";
    while (bytes.size() + tail.size() + 3 <= kFileBytes) bytes.append("k=\n");
  }
  bytes.append(tail);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

void BM_LoadSettings(benchmark::State& state) {
  const auto shape = static_cast<FileShape>(state.range(0));
  const std::string path = WriteSettingsFile(shape);
  const auto size = std::filesystem::file_size(path);
  auto profile = velmora::MakePortableProfile();
  velmora::GeneratorSettings settings;
  for (auto _ : state) {
    velmora::LoadSettings(settings, path, *profile);
    benchmark::DoNotOptimize(settings.Input.data());
  }
  std::filesystem::remove(path);
  if (settings.Input != "in.csv") state.SkipWithError("the file's key was not read");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.SetLabel(shape == kLineEnds ? "16 MB of line ends" : "16 MB of keys");
}
BENCHMARK(BM_LoadSettings)->ArgName("shape")->Arg(kLineEnds)->Arg(kKeys)->Unit(benchmark::kMillisecond);

}  // namespace
