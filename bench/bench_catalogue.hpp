// The catalogue the make benches run over, on real table files in a scratch folder: `count`
// tagged applications named <letter>0000.APP and up, each with its .APP file naming a target
// <name>.EXE in the folder `dir`/apps, the priority of each given by `priority_of`. The
// tables stay open for the benchmark; the folder goes when the catalogue does.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "framework/error_reporter.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::bench {

struct NoLog final : framework::ErrorLogSink {
    framework::Level Open(bool) override { return framework::LevelOk; }
    framework::Level Close(bool) override { return framework::LevelOk; }
    framework::Level Take(std::string_view) override { return framework::LevelOk; }
};

struct BenchCatalogue {
    std::filesystem::path dir;
    NoLog no_log;
    framework::ErrorReporter errors;

    BenchCatalogue(const char* folder_prefix, char letter, int count,
                   const std::function<int(int)>& priority_of) {
        storage::RegisterPelmarDriver();
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(folder_prefix) + "-XXXXXX"))
                .string();
        dir = ::mkdtemp(pattern.data());
        app::ResetCatalogueGlobals();
        app::AppsFileName = (dir / "APPS.PLM").string();
        app::TempFileFileName = (dir / "TEMPFILE.PLM").string();
        app::ProjectsFileName = (dir / "PROJECTS.PLM").string();
        app::TfFileName = (dir / "TF.PLM").string();
        errors.Init(&no_log);
        app::InitDictionary(errors);
        app::ProjectsRelations.OpenAll();
        app::AppsRelations.OpenAll();
        const std::string folder = (dir / "apps").string() + "/";
        std::filesystem::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%c%04d", letter, i);
            app::AppsManager.PrepareRecord();
            app::APP.DrivenPath = folder;
            app::APP.Application = std::string(name) + ".APP";
            app::APP.Priority = static_cast<std::uint8_t>(priority_of(i));
            app::APP.Tag = 1;
            app::APP.Target = folder + name + ".EXE";
            app::AppsManager.Insert();
            std::ofstream(folder + name + ".APP") << "Target=" << name << ".EXE\n";
        }
    }
    ~BenchCatalogue() {
        app::AppsRelations.CloseAll();
        app::ProjectsRelations.CloseAll();
        app::KillDictionary();
        errors.Kill();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    BenchCatalogue(const BenchCatalogue&) = delete;
    BenchCatalogue& operator=(const BenchCatalogue&) = delete;
};

}  // namespace zelt::bench
