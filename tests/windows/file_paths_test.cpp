// The program's files on Windows: the image path rule, and files in a drive root, in a folder
// with spaces and in a folder whose name lies outside any ANSI code page.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/dump_file.h"
#include "firmware/image_file.h"
#include "firmware/program_files.h"
#include "platform/file_system.h"
#include "platform/windows/windows_api.h"

namespace fwu::firmware {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* HelperName = L"print_program_folder.exe";
constexpr const char* FolderReportName = "program-folder.txt";
constexpr std::uintmax_t AnyImageSize = 1 << 20;

TEST(ImagePathRule, JoinsTheFolderAndTheNameWithOneBackslash) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* updateImage;
        const wchar_t* downloadImage;
        const wchar_t* dumpFile;
    };
    const Case cases[] = {
        {L"C:\\", L"C:\\Velnor.bin", L"C:\\Zembrix.bin", L"C:\\Ombrel.bin"},
        {L"C:\\Program Files\\Firmware Update", L"C:\\Program Files\\Firmware Update\\Velnor.bin",
         L"C:\\Program Files\\Firmware Update\\Zembrix.bin",
         L"C:\\Program Files\\Firmware Update\\Ombrel.bin"},
        {L"D:\\Прошивка 固件", L"D:\\Прошивка 固件\\Velnor.bin", L"D:\\Прошивка 固件\\Zembrix.bin",
         L"D:\\Прошивка 固件\\Ombrel.bin"},
        {L"\\\\server\\share\\tools", L"\\\\server\\share\\tools\\Velnor.bin",
         L"\\\\server\\share\\tools\\Zembrix.bin", L"\\\\server\\share\\tools\\Ombrel.bin"},
    };
    for (const auto& c : cases) {
        const ProgramFiles files{fs::path(c.folder)};
        EXPECT_EQ(files.updateImage().native(), c.updateImage);
        EXPECT_EQ(files.downloadImage().native(), c.downloadImage);
        EXPECT_EQ(files.dumpFile().native(), c.dumpFile);
    }
}

std::vector<std::uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Runs `program` and returns its exit code, or -1 when it cannot be started.
long runProgram(const fs::path& program) {
    std::wstring commandLine = L"\"" + program.native() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(exitCode);
}

// A drive root to write files in: a drive letter substituted for a scratch folder where the
// system honours that (Windows), else the root of the temporary folder's drive when it can be
// written (under Wine, C:\ lies inside the test's own prefix).
class DriveRoot {
  public:
    explicit DriveRoot(const fs::path& scratch) {
        const fs::path target = scratch / L"substituted";
        fs::create_directories(target);
        if (substitute(target))
            return;
        const fs::path systemRoot = fs::temp_directory_path().root_path();
        if (canWriteIn(systemRoot))
            root_ = systemRoot;
    }
    ~DriveRoot() {
        if (!letter_.empty())
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter_.c_str(), nullptr);
    }
    DriveRoot(const DriveRoot&) = delete;
    DriveRoot& operator=(const DriveRoot&) = delete;

    const fs::path& path() const { return root_; }

  private:
    bool substitute(const fs::path& target) {
        for (wchar_t drive = L'Z'; drive >= L'F'; --drive) {
            const std::wstring letter{drive, L':'};
            std::array<wchar_t, MAX_PATH> existing{};
            if (QueryDosDeviceW(letter.c_str(), existing.data(), MAX_PATH) != 0)
                continue;  // in use
            if (!DefineDosDeviceW(0, letter.c_str(), target.c_str()))
                return false;
            letter_ = letter;
            const fs::path root = letter + L"\\";
            writeAll(root / "probe", {1});
            std::error_code error;
            if (fs::exists(target / "probe", error)) {
                fs::remove(target / "probe", error);
                root_ = root;
                return true;
            }
            return false;  // accepted, but files do not go there
        }
        return false;
    }

    static bool canWriteIn(const fs::path& folder) {
        const fs::path probe = folder / "fwu-write-probe";
        writeAll(probe, {1});
        std::error_code error;
        return fs::remove(probe, error);
    }

    std::wstring letter_;
    fs::path root_;
};

class ProgramFolderFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ =
            fs::temp_directory_path() / (L"fwu-files-" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(scratch_);
        driveRoot_ = std::make_unique<DriveRoot>(scratch_);
    }
    void TearDown() override {
        for (const auto& path : createdAtRoot_) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
        driveRoot_.reset();
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    struct FolderCase {
        const char* name;
        fs::path folder;
    };

    std::vector<FolderCase> folders() {
        std::vector<FolderCase> cases = {
            {"a folder with spaces", scratch_ / L"Program Files (x86)" / L"Firmware Update"},
            {"a folder outside the ANSI code page", scratch_ / L"Прошивка 固件 ✓"},
        };
        if (!driveRoot_->path().empty())
            cases.push_back({"a drive root", driveRoot_->path()});
        for (const auto& c : cases)
            fs::create_directories(c.folder);
        return cases;
    }

    // Files made in a drive root are removed one by one: the root itself stays.
    fs::path track(const fs::path& path) {
        createdAtRoot_.push_back(path);
        return path;
    }

    fs::path scratch_;
    std::unique_ptr<DriveRoot> driveRoot_;
    std::vector<fs::path> createdAtRoot_;
};

TEST_F(ProgramFolderFiles, ThereIsADriveRootToTest) {
    EXPECT_FALSE(driveRoot_->path().empty())
        << "no drive letter could be substituted and no drive root is writable";
    std::cout << "drive root under test: " << driveRoot_->path().string() << "\n";
}

TEST_F(ProgramFolderFiles, ImagesAreFoundAndRead) {
    for (const auto& c : folders()) {
        SCOPED_TRACE(c.name);
        const ProgramFiles files{c.folder};
        std::vector<std::uint8_t> image(85);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i + 1);
        writeAll(track(files.updateImage()), image);

        EXPECT_TRUE(imageFileExists(files.updateImage()));
        EXPECT_FALSE(imageFileExists(files.downloadImage()));
        const auto loaded = loadImage(files.updateImage(), AnyImageSize);
        EXPECT_EQ(loaded.error, ImageError::None);
        EXPECT_EQ(loaded.bytes, image);
        EXPECT_EQ(loadImage(files.downloadImage(), AnyImageSize).error, ImageError::Missing);
    }
}

TEST_F(ProgramFolderFiles, ADumpReplacesTheEarlierFileWhole) {
    for (const auto& c : folders()) {
        SCOPED_TRACE(c.name);
        const ProgramFiles files{c.folder};
        writeAll(track(files.dumpFile()), std::vector<std::uint8_t>(100, 0xAA));
        DumpFile dump(files.dumpFile());
        track(dump.partialPath());
        std::error_code error;
        ASSERT_TRUE(dump.create(error)) << error.message();
        std::array<std::uint8_t, protocol::BlockSize> block{};
        block.fill(0x5C);
        ASSERT_TRUE(dump.append(block, error)) << error.message();
        ASSERT_TRUE(dump.writeOut(error)) << error.message();
        ASSERT_TRUE(dump.replaceTarget(error)) << error.message();

        EXPECT_EQ(readAll(files.dumpFile()), std::vector<std::uint8_t>(block.begin(), block.end()));
        EXPECT_FALSE(fs::exists(dump.partialPath()));
    }
}

TEST_F(ProgramFolderFiles, AProgramFindsItsOwnFolder) {
    const auto testFolder = platform::programFolder();
    ASSERT_TRUE(testFolder);
    const fs::path helper = *testFolder / HelperName;
    ASSERT_TRUE(fs::exists(helper)) << helper.string();
    for (const auto& c : folders()) {
        SCOPED_TRACE(c.name);
        const fs::path copy = track(c.folder / HelperName);
        const fs::path report = track(c.folder / FolderReportName);
        fs::copy_file(helper, copy, fs::copy_options::overwrite_existing);
        ASSERT_EQ(runProgram(copy), 0);
        const auto text = readAll(report);
        EXPECT_EQ(std::u8string(text.begin(), text.end()), c.folder.u8string());
    }
}

}  // namespace
}  // namespace fwu::firmware
