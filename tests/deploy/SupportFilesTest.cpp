#include "deploy/SupportFiles.h"

#include <vector>

#include "DeployFixture.h"
#include "catalogue/HostCatalogue.h"
#include "doubles/RegistryDouble.h"

namespace {
const char* const kHost2008 = "C:\\Program Files\\AutoCAD 2008";
const char* const kHost2010 = "C:\\Program Files\\AutoCAD 2010";

ReleaseFlags Ticked(std::initializer_list<int> years) {
    ReleaseFlags flags{};
    for (int year : years) flags[year - 2007] = 1;
    return flags;
}
}  // namespace

class SupportFilesTest : public DeployFixture {
protected:
    void SetUp() override {
        DeployFixture::SetUp();
        AddPackage({"Korvel_EN.shx", "Korvel_HZ.shx", "ACAD2007.dll", "ACAD2013.dll", "Korvel.prt5"});
        for (const char* host : {kHost2008, kHost2010}) {
            files.AddFolder(std::string(host) + "\\Fonts");
            files.AddFile(std::string(host) + "\\Drv\\pdfplot9.hdi", "host's driver");
        }
    }
    std::vector<std::string> Landed() const {
        std::vector<std::string> landed;
        for (const FileDouble::CopyRecord& copy : files.copies)
            if (copy.succeeded) landed.push_back(copy.destination);
        return landed;
    }

    RegistryDouble registry;
    HostCatalogue catalogue{registry, files, prompt};
};

// What the package holds is copied in order (fonts, library years, plot driver); what it lacks is
// not tried, only named, each once. A package that cannot be listed has every name tried.
TEST_F(SupportFilesTest, CopiesInOrderWhatThePackageHoldsAndNamesWhatItLacks) {
    std::vector<std::string> absent;
    CopySupportFilesTo(files, prompt, kHost2008, true, &absent);
    const std::string host = kHost2008, data = kData;
    const std::vector<std::string> landed{host + "\\Fonts\\Korvel_EN.shx", host + "\\Fonts\\Korvel_HZ.shx",
                                          host + "\\ACAD2007.dll", host + "\\ACAD2013.dll",
                                          host + "\\Drv\\pdfplot9.hdi"};
    EXPECT_EQ(files.copies.size(), 5u);
    EXPECT_EQ(Landed(), landed);
    EXPECT_EQ(files.copies[2].source, data + "\\ACAD2007.dll");
    EXPECT_EQ(files.Content(host + "\\Drv\\pdfplot9.hdi"), "Korvel.prt5");
    ASSERT_EQ(absent.size(), 42u);
    EXPECT_EQ(absent.front(), "ACAD2008.dll");
    EXPECT_EQ(absent[5], "ACAD2014.dll");
    EXPECT_EQ(absent.back(), "ACAD2050.dll");
    EXPECT_TRUE(prompt.shown.empty());

    files.copies.clear();
    files.FailListing(kData);
    CopySupportFilesTo(files, prompt, kHost2010, true);
    EXPECT_EQ(files.copies.size(), 47u);
    for (int year = 2007; year <= 2050; ++year)
        EXPECT_EQ(files.copies[year - 2005].destination, std::string(kHost2010) + "\\ACAD" + std::to_string(year) + ".dll");
}

TEST_F(SupportFilesTest, OnlyTickedReleasesAndOnly2008GetsThePlotDriver) {
    catalogue.hostFolders[2008 - 2007] = {kHost2008};
    catalogue.hostFolders[2010 - 2007] = {kHost2010};
    catalogue.hostFolders[2012 - 2007] = {"C:\\Program Files\\AutoCAD 2012"};
    files.AddFolder("C:\\Program Files\\AutoCAD 2012");
    catalogue.CopySupportFiles(Ticked({2008, 2010}));
    EXPECT_EQ(files.Content(std::string(kHost2008) + "\\Drv\\pdfplot9.hdi"), "Korvel.prt5");
    EXPECT_EQ(files.Content(std::string(kHost2010) + "\\Drv\\pdfplot9.hdi"), "host's driver");
    EXPECT_EQ(files.Content(std::string(kHost2010) + "\\ACAD2013.dll"), "ACAD2013.dll");
    EXPECT_EQ(files.Content(std::string(kHost2010) + "\\Fonts\\Korvel_HZ.shx"), "Korvel_HZ.shx");
    EXPECT_TRUE(files.Children("C:\\Program Files\\AutoCAD 2012").empty());
    EXPECT_EQ(files.copies.size(), 5u + 4u);
    // Named once for the whole run, not once a host.
    EXPECT_EQ(catalogue.supportFilesAbsent.size(), 42u);
}

TEST_F(SupportFilesTest, AHostListedTwiceReceivesEveryCopyTwice) {
    catalogue.hostFolders[2010 - 2007] = {kHost2010, kHost2010};
    catalogue.CopySupportFiles(Ticked({2010}));
    ASSERT_EQ(files.copies.size(), 8u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(files.copies[i].destination, files.copies[i + 4].destination);
    EXPECT_EQ(Landed().size(), 8u);
}

TEST_F(SupportFilesTest, NothingHappensWithoutATickedHost) {
    catalogue.hostFolders[2010 - 2007] = {kHost2010};
    catalogue.CopySupportFiles(ReleaseFlags{});
    catalogue.CopySupportFiles(Ticked({2008, 2025}));  // ticked, but no host found
    EXPECT_TRUE(files.calls.empty());  // not even the package lookup
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SupportFilesTest, FailuresAreSilentAndNothingIsCreatedOrUnprotected) {
    const std::string host = "C:\\Program Files\\Bare";
    files.AddFolder(host);                                        // no "Fonts", no "Drv"
    files.AddFile(host + "\\ACAD2007.dll", "old", kAttrReadOnly);  // refused
    files.AddFile(host + "\\ACAD2013.dll", "old", kAttrHidden);    // refused
    files.AddFile(std::string(kData) + "\\ACAD2007.dll", "ACAD2007.dll", kAttrReadOnly);
    CopySupportFilesTo(files, prompt, host, true);
    EXPECT_EQ(files.Children(host), (std::vector<std::string>{"ACAD2007.dll", "ACAD2013.dll"}));
    EXPECT_EQ(files.Content(host + "\\ACAD2007.dll"), "old");
    EXPECT_EQ(files.Content(host + "\\ACAD2013.dll"), "old");
    EXPECT_EQ(files.Attributes(std::string(kData) + "\\ACAD2007.dll"), kAttrReadOnly);
    EXPECT_TRUE(Landed().empty());
    for (const std::string& call : files.calls) {
        EXPECT_EQ(call.find("WriteAttributes"), std::string::npos) << call;
        EXPECT_EQ(call.find("MakeDir"), std::string::npos) << call;
        EXPECT_EQ(call.find("CreateFolder"), std::string::npos) << call;
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SupportFilesTest, FolderPathsOverTheBufferSkipOnlyTheirCopies) {
    // "<host>\Fonts" needs 260 characters, the host itself 254: fonts skipped, libraries copied.
    const std::string host = "C:\\" + std::string(251, 'h');
    files.AddFolder(host + "\\Fonts");
    files.AddFolder(host + "\\Drv");
    CopySupportFilesTo(files, prompt, host, true);
    EXPECT_TRUE(files.Children(host + "\\Fonts").empty());
    EXPECT_EQ(files.Content(host + "\\ACAD2007.dll"), "ACAD2007.dll");
    EXPECT_EQ(files.Content(host + "\\Drv\\pdfplot9.hdi"), "Korvel.prt5");  // 258: fits

    files.copies.clear();
    CopySupportFilesTo(files, prompt, "C:\\" + std::string(257, 'h'), true);
    EXPECT_TRUE(files.copies.empty());
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(SupportFilesTest, AVanishedPackageIsReportedOncePerHostFolder) {
    files.Remove(kData);
    catalogue.hostFolders[2010 - 2007] = {kHost2010, kHost2008};
    catalogue.CopySupportFiles(Ticked({2010}));
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, kPackageMissing);
    EXPECT_TRUE(files.copies.empty());
}

// Newer releases store their folder with a trailing backslash: no path gets a doubled one.
TEST_F(SupportFilesTest, AHostFolderEndingInABackslashGetsNoSecondOne) {
    const std::string host = "C:\\Program Files\\Autodesk\\AutoCAD 2022\\";
    files.AddFolder(host + "Fonts");
    files.AddFolder(host + "Drv");
    CopySupportFilesTo(files, prompt, host, true);
    for (const FileDouble::CopyRecord& copy : files.copies)
        EXPECT_EQ(copy.destination.find("\\\\"), std::string::npos) << copy.destination;
    EXPECT_EQ(Landed(), (std::vector<std::string>{
                            host + "Fonts\\Korvel_EN.shx", host + "Fonts\\Korvel_HZ.shx",
                            host + "ACAD2007.dll", host + "ACAD2013.dll", host + "Drv\\pdfplot9.hdi"}));
}
