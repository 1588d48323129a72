// Writes a handful of well-formed item files as the fuzzer's starting corpus.
#include <cstdio>
#include <filesystem>
#include <string>

#include "storage/io/io_fault_seam.hpp"
#include "storage/item_file.hpp"

using namespace zelt::storage;

static void Fill(const std::filesystem::path& path, int count, std::size_t data_size,
                 bool stop_midway) {
    std::filesystem::remove(path);
    std::unique_ptr<ItemFile> file;
    if (!ItemFile::Open(path, {Access::ReadWrite, Share::DenyAll, Creation::OpenOrCreate, {}}, file)
             .ok())
        return;
    file->BeginWrite();
    for (int i = 0; i < count; ++i) {
        std::string key = "k" + std::to_string(1000 + i * 7 % 997);
        file->Replace(key, std::string(data_size + static_cast<std::size_t>(i % 5),
                                       static_cast<char>('a' + i % 4)));
    }
    file->Finish();
    if (stop_midway) {
        io::IoFaultSeam::Arm(io::SeamAction::Stop, 6);
        file->Insert("late", "journal");
        file.reset();
        io::IoFaultSeam::Disarm();
    }
}

int main(int argc, char** argv) {
    std::filesystem::path dir = argc > 1 ? argv[1] : "corpus";
    std::filesystem::create_directories(dir);
    io::IoFaultSeam::SetDeviceSync(false);
    Fill(dir / "one.plm", 1, 3, false);
    Fill(dir / "small.plm", 40, 10, false);
    Fill(dir / "tree.plm", 600, 30, false);
    Fill(dir / "sections.plm", 60, 900, false);
    Fill(dir / "journal.plm", 30, 20, true);
    std::printf("seeds in %s\n", dir.c_str());
}
