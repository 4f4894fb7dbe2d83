#include "app/settings/QtSettingsStore.h"
#include "common/AppSettings.h"
#include "common/CDownloadUtilApp.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dlu {
namespace {

using S = AppSettings;

TEST(QtSettingsStore, ProfilesAreSeparateFilesWithSectionsAsGroups) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtSettingsStore store(dir.path());
    EXPECT_EQ(store.profile(), "Downloader");
    EXPECT_TRUE(store.fileName().startsWith(dir.path())) << "tests never touch the user's store";

    EXPECT_EQ(store.getString("Settings", "File Path", "none"), "none");
    EXPECT_EQ(store.getInt("CommSet", "Flag", 7), 7);
    store.writeString("Settings", "File Path", "/home/u/projects/");
    store.writeInt("CommSet", "CommSet.nConType", 4);
    store.writeString("Settings", "Korean", "한글 경로");
    EXPECT_EQ(store.getString("Settings", "File Path", ""), "/home/u/projects/");
    EXPECT_EQ(store.getInt("CommSet", "CommSet.nConType", 0), 4);
    EXPECT_EQ(store.getString("Settings", "Korean", ""), "한글 경로");

    // The programming tool's profile is another file; our values are not visible there.
    store.selectProfile("TORVA");
    EXPECT_EQ(store.getString("Settings", "File Path", "absent"), "absent");
    store.selectProfile("Downloader");
    EXPECT_EQ(store.getString("Settings", "File Path", ""), "/home/u/projects/");

    // On disk: organisation folder, profile file, section group.
    const QString file = dir.path() + "/TORVA/Downloader.conf";
    ASSERT_TRUE(QFile::exists(file));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/File Path").toString(), "/home/u/projects/");
    EXPECT_EQ(raw.value("CommSet/CommSet.nConType").toInt(), 4);
}

TEST(QtSettingsStore, NonNumericIntegerReadsAsDefault) {
    QTemporaryDir dir;
    QtSettingsStore store(dir.path());
    store.writeString("Settings", "UI Theme Type", "dark");
    EXPECT_EQ(store.getInt("Settings", "UI Theme Type", 0), 0);
    store.writeString("Settings", "UI Theme Type", "1");
    EXPECT_EQ(store.getInt("Settings", "UI Theme Type", 0), 1);
}

TEST(QtSettingsStore, StartupReadsTheToolsLanguage) {
    QTemporaryDir dir;
    {
        QSettings tool(dir.path() + "/TORVA/TORVA.conf", QSettings::IniFormat);
        tool.setValue("Settings/Resource", "LangKor.DLL");
    }
    QtSettingsStore store(dir.path());
    CDownloadUtilApp app(store, [] { return S::kLangIdEnglishUs; });
    EXPECT_EQ(app.start(), Language::Korean);
    EXPECT_EQ(store.profile(), "Downloader");
    EXPECT_FALSE(QFile::exists(dir.path() + "/TORVA/Downloader.conf"))
        << "nothing is written when the tool has a language";

    QTemporaryDir fresh;
    QtSettingsStore freshStore(fresh.path());
    CDownloadUtilApp freshApp(freshStore, [] { return S::kLangIdKorean; });
    EXPECT_EQ(freshApp.start(), Language::Korean);
    QSettings raw(fresh.path() + "/TORVA/Downloader.conf", QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/Downloader Resource").toString(), "LangKor.DLL");
}

} // namespace
} // namespace dlu
