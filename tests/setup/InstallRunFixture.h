#pragma once
// A machine with AutoCAD 2008 and 2013 installed, the package in C:\Setup\Data, one AutoCAD
// profile for the user, and the setup dialog as a recording view over it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/HostCatalogue.h"
#include "doubles/FileDouble.h"
#include "doubles/LogDouble.h"
#include "doubles/ProcessDouble.h"
#include "doubles/PromptDouble.h"
#include "doubles/RegFile.h"
#include "doubles/RegistryDouble.h"
#include "doubles/ViewDouble.h"
#include "setup/InstallRun.h"

class InstallRunFixture : public testing::Test {
public:  // the unattended tests build several machines in one test
    static constexpr const char* kKey2008 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
    static constexpr const char* kKey2013 = "SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\";
    static constexpr const char* kHost2008 = "C:\\Program Files\\AutoCAD 2008";
    static constexpr const char* kHost2013 = "C:\\Program Files\\Autodesk\\AutoCAD 2013";
    static constexpr const char* kVariables =
        "Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
    static constexpr const char* kData = "C:\\Setup\\Data";
    static constexpr int k2008 = 1, k2013 = 6;

    void SetUp() override {
        files.AddFolder("C:\\");
        files.AddFolder("D:\\");
        files.modulePath = "C:\\Setup\\SetUp.exe";
        files.AddFile(files.modulePath, "setup program");
        files.AddFolder(kData);
        for (const char* name : {"Korvel2008.ARX", "Korvel2010.arx", "Korvel2013.ARX",
                                 "Korvel_EN.shx", "Korvel_HZ.shx", "ACAD2007.dll", "ACAD2013.dll",
                                 "Korvel.prt5"})
            files.AddFile(std::string(kData) + "\\" + name, name);
        for (const char* host : {kHost2008, kHost2013}) {
            files.AddFile(std::string(host) + "\\acad.exe", "host");
            files.AddFolder(std::string(host) + "\\Fonts");
            files.AddFolder(std::string(host) + "\\Drv");
        }

        ASSERT_EQ(LoadRegText(registry,
                              "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804]\r\n"
                              "\"ProductName\"=\"AutoCAD 2008\"\r\n\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804]\r\n"
                              "\"ProductName\"=\"AutoCAD 2013\"\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R19.0\\ACAD-B001:804"
                              "\\Profiles\\<<Unnamed Profile>>\\Variables]\r\n"
                              "\"TRUSTEDPATHS\"=\"\"\r\n"),
                  "");
        // As discovery files them: key paths relative to HKEY_LOCAL_MACHINE, with a backslash.
        catalogue.hostKeys[k2008] = {kKey2008};
        catalogue.hostFolders[k2008] = {kHost2008};
        catalogue.hostKeys[k2013] = {kKey2013};
        catalogue.hostFolders[k2013] = {kHost2013};
        // The dialog after its initialisation: only the found releases ticked.
        view.ticks.fill(0);
        view.ticks[k2008] = view.ticks[k2013] = 1;
        members.releaseFlags = view.ticks;
    }

    std::string Loader(const char* productKey, const char* application) const {
        return registry.GetText(kHkeyLocalMachine, std::string(productKey) + "Applications\\" +
                                                       application, "LOADER");
    }
    std::vector<std::string> MakeDirCalls() const {
        std::vector<std::string> made;
        for (const std::string& call : files.calls)
            if (call.rfind("MakeDir(", 0) == 0) made.push_back(call);
        return made;
    }
    int CopiesInto(const std::string& folder) const {
        int count = 0;
        for (const FileDouble::CopyRecord& copy : files.copies)
            count += copy.destination.rfind(folder + "\\", 0) == 0;
        return count;
    }

    FileDouble files;
    RegistryDouble registry;
    PromptDouble catalogPrompt;
    HostCatalogue catalogue{registry, files, catalogPrompt};
    ProcessDouble processes;
    bool hostCheckArmed = true;  // the application's, for the whole process
    SetupMembers members;
    ViewDouble view{members};
    LogDouble log;
    InstallRun run{view, members, view.progress, catalogue, files, processes, hostCheckArmed, log};
};
