#pragma once
// A setup program in C:\Setup over the file double, with a scripted prompt and a recording
// progress bar.
#include <gtest/gtest.h>

#include <string>

#include "doubles/FileDouble.h"
#include "doubles/ProgressDouble.h"
#include "doubles/PromptDouble.h"

class DeployFixture : public testing::Test {
protected:
    void SetUp() override {
        files.modulePath = "C:\\Setup\\SetUp.exe";
        files.AddFile(files.modulePath, "setup program");
    }

    // The package in "Data", one file per name, its content the name itself.
    void AddPackage(std::initializer_list<const char*> names) {
        files.AddFolder(kData);
        for (const char* name : names) files.AddFile(std::string(kData) + "\\" + name, name);
    }

    static constexpr const char* kData = "C:\\Setup\\Data";
    static constexpr const char* kPackageMissing =
        "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";

    FileDouble files;
    PromptDouble prompt;
    ProgressDouble progress;
};
