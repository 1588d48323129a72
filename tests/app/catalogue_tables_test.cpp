#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {
namespace {

struct ExpectedKey {
    std::string stored_label;
    std::uint8_t attributes;
    std::vector<std::string> components;
};

std::vector<std::string> StoredFieldNames(const runtime::Table& table) {
    std::vector<std::string> names;
    for (const auto& field : table.Declaration().Fields()) names.push_back(field.StoredName());
    return names;
}

void ExpectKeys(const runtime::Table& table, const std::vector<ExpectedKey>& expected) {
    const auto& decl = table.Declaration();
    EXPECT_TRUE(decl.ComponentsResolved()) << decl.Label();
    ASSERT_EQ(decl.Keys().size(), expected.size()) << decl.Label();
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto& key = decl.Keys()[k];
        EXPECT_EQ(key.StoredLabel(), expected[k].stored_label);
        EXPECT_EQ(key.attributes, expected[k].attributes) << expected[k].stored_label;
        ASSERT_EQ(key.components.size(), expected[k].components.size());
        for (std::size_t c = 0; c < key.components.size(); ++c) {
            EXPECT_FALSE(key.components[c].descending);
            EXPECT_EQ(decl.Fields()[static_cast<std::size_t>(key.components[c].field)].StoredName(),
                      expected[k].components[c]);
        }
    }
}

TEST(CatalogueTablesTest, RecordLayoutsAndStoredNames) {
    EXPECT_EQ(Apps.Declaration().RecordLength(), 387u);
    EXPECT_EQ(Apps1.Declaration().RecordLength(), 387u);
    EXPECT_EQ(Projects.Declaration().RecordLength(), 54u);
    EXPECT_EQ(Tf.Declaration().RecordLength(), 381u);
    EXPECT_EQ(TempFile.Declaration().RecordLength(), 128u);
    EXPECT_EQ(DeletionFile.Declaration().RecordLength(), 0u);
    EXPECT_TRUE(DeletionFile.Declaration().Fields().empty());

    EXPECT_EQ(StoredFieldNames(Apps),
              (std::vector<std::string>{"APP:DRIVENPATH", "APP:APPLICATION", "APP:TAG",
                                        "APP:PRIORITY", "APP:TARGET", "APP:P_REF"}));
    // The alias keeps its own labels but describes the file as APPS does.
    EXPECT_EQ(StoredFieldNames(Apps1), StoredFieldNames(Apps));
    EXPECT_EQ(Apps1.Declaration().Fields()[0].label, "APPS1:DrivenPath");
    EXPECT_EQ(Apps1.KeyNumber("APPS1:PriorityKey"), Apps1Table::PriorityKey);
    EXPECT_EQ(StoredFieldNames(Projects),
              (std::vector<std::string>{"PRO:PROJECTNAME", "PRO:P_REF"}));
    EXPECT_EQ(StoredFieldNames(Tf), (std::vector<std::string>{"TAG:APPNAME", "TAG:DRIVEPATH",
                                                              "TAG:PRIORITY", "TAG:TARGET"}));
    EXPECT_EQ(StoredFieldNames(TempFile),
              (std::vector<std::string>{"TMP:APPS", "TMP:DATE", "TMP:CLOCK", "TMP:EVENT"}));

    const auto& apps = Apps.Declaration().Fields();
    const std::vector<std::uint32_t> offsets{0, 80, 130, 132, 133, 383};
    for (std::size_t i = 0; i < apps.size(); ++i) EXPECT_EQ(apps[i].offset, offsets[i]);
    EXPECT_EQ(TempFile.Declaration().Fields()[3].offset, 48u);
    EXPECT_EQ(Tf.Declaration().Fields()[3].offset, 131u);
    EXPECT_EQ(Projects.Declaration().Fields()[1].offset, 50u);
}

TEST(CatalogueTablesTest, KeysWithTheirAttributeBytes) {
    ExpectKeys(Apps, {{"APP:DRIVEKEY", 6, {"APP:APPLICATION", "APP:DRIVENPATH"}},
                      {"APP:PRIORITYKEY", 5, {"APP:PRIORITY", "APP:APPLICATION"}},
                      {"APP:P_REFKEY", 7, {"APP:P_REF"}}});
    ExpectKeys(Apps1, {{"APP:DRIVEKEY", 6, {"APP:APPLICATION", "APP:DRIVENPATH"}},
                       {"APP:PRIORITYKEY", 5, {"APP:PRIORITY", "APP:APPLICATION"}},
                       {"APP:P_REFKEY", 7, {"APP:P_REF"}}});
    ExpectKeys(Projects, {{"PRO:PROJECTNAMEKEY", 6, {"PRO:PROJECTNAME"}},
                          {"PRO:PROJECTIDKEY", 0x16, {"PRO:P_REF"}}});
    ExpectKeys(Tf, {{"TAG:TAGFILEKEY", 6, {"TAG:APPNAME", "TAG:DRIVEPATH"}}});
    ExpectKeys(TempFile, {{"TMP:CLOCKKEY", 7, {"TMP:DATE", "TMP:CLOCK"}}});
    EXPECT_EQ(Apps.KeyNumber("APP:PriorityKey"), AppsTable::PriorityKey);
    EXPECT_EQ(TempFile.KeyNumber("tmp:clockkey"), TempFileTable::clockkey);
    EXPECT_EQ(Projects.KeyNumber("PRO:ProjectIDKey"), ProjectsTable::ProjectIDKey);
}

TEST(CatalogueTablesTest, NameVariablesAndDrivers) {
    ResetCatalogueGlobals();
    EXPECT_EQ(AppsFileName.View(), "APPS.PLM" + std::string(56, ' '));
    EXPECT_EQ(Apps.FileName(), "APPS.PLM");
    EXPECT_EQ(TempFile.FileName(), "TEMPFILE.PLM");
    EXPECT_EQ(Projects.FileName(), "PROJECTS.PLM");
    EXPECT_EQ(Tf.FileName(), "TF.PLM");
    EXPECT_EQ(DeletionFile.FileName(), "");

    // Start-up prefixes the path; both application tables follow the one variable.
    GLO.FilePath = "/home/dev/zelt/";
    AppsFileName = GLO.FilePath.Clip() + AppsFileName.Clip();
    EXPECT_EQ(Apps.FileName(), "/home/dev/zelt/APPS.PLM");
    EXPECT_EQ(Apps1.FileName(), "/home/dev/zelt/APPS.PLM");

    EXPECT_EQ(Apps.Declaration().Driver(), "PELMAR");
    EXPECT_EQ(DeletionFile.Declaration().Driver(), "DOS");
    EXPECT_EQ(GLO.UseNewLog.View(), "N");
    EXPECT_EQ(GLO.RetainTags, 0);
    EXPECT_EQ(GLO.RunString.View(), "");
    ResetCatalogueGlobals();
    EXPECT_EQ(Apps.FileName(), "APPS.PLM");
}

TEST(CatalogueTablesTest, RecordBuffersAreTheTablesBuffers) {
    ResetCatalogueGlobals();
    APP.Priority = 9;
    EXPECT_EQ(static_cast<std::uint8_t>(Apps.Record()[132]), 9);
    APPS1.Priority = 3;
    EXPECT_EQ(static_cast<std::uint8_t>(Apps1.Record()[132]), 3);
    EXPECT_EQ(APP.Priority, 9);
    TMP.Event = "Begin Make";
    EXPECT_EQ(std::string(TempFile.Record().data() + 48, 10), "Begin Make");
    ResetCatalogueGlobals();
    EXPECT_EQ(APP.Priority, 0);
    EXPECT_EQ(APP.Application.View(), std::string(50, ' '));
}

}  // namespace
}  // namespace zelt::app
