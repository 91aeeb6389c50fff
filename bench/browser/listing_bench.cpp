// Listing a large media folder into the file list: from the folder change to
// the list filled.
#include "bench/support/qt_bench_main.h"
#include "framework/file_controls.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

const QString kMediaMask = QStringLiteral("*.mid;*.rmi;*.wav;*.avi;*.wa~;*.bun");

// 20,000 files, every fourth one a media file, plus a few folders.
class BigFolder {
public:
    BigFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvana-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        root_ = pattern;
        std::filesystem::create_directories(root_ / "big");
        std::filesystem::create_directories(root_ / "empty");
        static const char* media[] = {"mid", "WAV", "rmi", "Avi", "wa~", "bun"};
        static const char* other[] = {"txt", "jpg", "mp3", "png", "mid.bak", "doc"};
        for (int i = 0; i < 20000; ++i) {
            char name[64];
            const int scrambled = (i * 7919) % 20000;
            if (i % 4 == 0)
                std::snprintf(name, sizeof name, "Track %05d.%s", scrambled, media[i % 6]);
            else
                std::snprintf(name, sizeof name, "file %05d.%s", scrambled, other[i % 6]);
            const int fd = ::open((root_ / "big" / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0)
                std::abort();
            ::close(fd);
        }
        for (int i = 0; i < 20; ++i)
            std::filesystem::create_directory(root_ / "big" / ("folder " + std::to_string(i) + ".mid"));
    }
    ~BigFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    QString big() const { return QString::fromStdString((root_ / "big").string()); }
    QString empty() const { return QString::fromStdString((root_ / "empty").string()); }

private:
    std::filesystem::path root_;
};

void ListBigFolder(benchmark::State& state)
{
    static BigFolder folder;
    ui::FileListBox list;
    list.setMask(kMediaMask);
    list.setShowGlyphs(true);
    list.resize(313, 201);
    if (state.range(0))
        list.show();
    for (auto _ : state) {
        state.PauseTiming();
        list.setDirectory(folder.empty());
        state.ResumeTiming();
        list.setDirectory(folder.big());
        benchmark::DoNotOptimize(list.count());
    }
    if (list.count() != 5000)
        state.SkipWithError("wrong number of entries");
    state.counters["entries"] = list.count();
}
BENCHMARK(ListBigFolder)->ArgName("shown")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return bench_support::runWithWidgets(argc, argv);
}
