// What one registry access costs as the store grows: reads are served from
// the parsed store, every write rewrites the whole file and syncs it.
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace registry;

namespace {

// A store file of KEYS extension keys, each with a type name and an open command.
class StoreFile {
public:
    explicit StoreFile(int keys)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvana-bench-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        setenv("QUORVANA_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        store::Store s;
        for (int i = 0; i < keys; ++i) {
            store::Key& ext = s.root(store::Root::ClassesRoot).childOrCreate(".x" + std::to_string(i));
            ext.setValue({"", REG_SZ, std::string("type") + std::to_string(i) + '\0'});
            ext.childOrCreate("shell").childOrCreate("open").childOrCreate("command")
                .setValue({"", REG_SZ, std::string("/usr/bin/player %1") + '\0'});
        }
        text_ = store::serialize(s);
        FILE* f = std::fopen((dir_ / "registry.reg").c_str(), "wb");
        std::fwrite(text_.data(), 1, text_.size(), f);
        std::fclose(f);
    }
    ~StoreFile() { std::filesystem::remove_all(dir_); }
    const std::string& text() const { return text_; }

private:
    std::filesystem::path dir_;
    std::string text_;
};

void BM_QueryValue(benchmark::State& state)
{
    StoreFile file(static_cast<int>(state.range(0)));
    HKEY key = 0;
    RegOpenKeyExA(HKEY_CLASSES_ROOT, ".x1\\shell\\open\\command", 0, KEY_READ, &key);
    char buffer[256];
    for (auto _ : state) {
        DWORD size = sizeof buffer;
        benchmark::DoNotOptimize(
            RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    }
    RegCloseKey(key);
}
BENCHMARK(BM_QueryValue)->Arg(10)->Arg(1000);

void BM_SetValue(benchmark::State& state)
{
    StoreFile file(static_cast<int>(state.range(0)));
    HKEY key = 0;
    RegOpenKeyExA(HKEY_CLASSES_ROOT, ".x1", 0, KEY_ALL_ACCESS, &key);
    const std::string data = std::string("renamed") + '\0';
    for (auto _ : state)
        benchmark::DoNotOptimize(RegSetValueExA(key, nullptr, 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(data.data()),
                                                static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}
BENCHMARK(BM_SetValue)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ParseStore(benchmark::State& state)
{
    StoreFile file(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(store::parse(file.text()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.text().size()));
}
BENCHMARK(BM_ParseStore)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
