// Whole installation runs through the real dialogs: the real 7-Zip on ISO
// images made by the build, stand-ins for chkdsk and syslinux (which Wine
// lacks) and, where a case needs what no real image gives, for 7z too.
// The target is E:, a removable drive of the test environment.

#include "install_run.h"

namespace {

TEST_F(InstallRun, FullRunPutsEveryFileOnTheTargetAndMakesItBootable)
{
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), full_run_log());

    std::istringstream sizes(read_file(images + "kavel-test.sizes"));
    long long size;
    std::string name;
    int files = 0;
    while (sizes >> size && std::getline(sizes, name)) {
        EXPECT_EQ(file_size("E:\\kavel\\" + name.substr(1)), size) << name;
        ++files;
    }
    EXPECT_EQ(files, 4);
    EXPECT_EQ(file_size("E:\\kavel\\readme.txt"), -1);
    EXPECT_EQ(file_size("E:\\kavel\\deep.sfs"), -1);
    EXPECT_EQ(read_file("E:\\syslinux.cfg"), read_file(kit + "syslinux.cfg"));
    // The UEFI loaders, byte for byte, and nothing else under EFI.
    for (const char* f : UEFI_FILES) {
        std::string loader = read_file(kit + "efi\\" + f);
        EXPECT_GT(loader.size(), 100000u) << f;
        EXPECT_TRUE(read_file(std::string("E:\\EFI\\BOOT\\") + f) == loader) << f;
    }
    EXPECT_EQ(tree("E:\\EFI"), "BOOT\\\nBOOT\\BOOTIA32.EFI\nBOOT\\BOOTX64.EFI\nBOOT\\ldlinux.e32\n"
                               "BOOT\\ldlinux.e64\n");
    EXPECT_EQ(read_file(folder + "chkdsk.args"), "chkdsk E:\n");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
    EXPECT_EQ(bar(), 100);
    EXPECT_EQ(control_text(progress, IDC_STOP_CLOSE), text(IDS_CLOSE));
    click(progress, IDC_STOP_CLOSE);
    EXPECT_TRUE(wait_until([&] { return !IsWindow(progress); }, WAIT_MS));
    // Back in the main dialog, as it was.
    EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(main) != FALSE; }, WAIT_MS));
    EXPECT_EQ(control_text(main, IDC_IMAGE_PATH), images + "kavel-test.iso");
    EXPECT_EQ(combo_entry(main, IDC_DRIVE_LIST, combo_selection(main, IDC_DRIVE_LIST)).substr(0, 2),
              "E:");
}

TEST_F(InstallRun, LoadersAlreadyOnTheTargetAreReplaced)
{
    // A stick that was made bootable before: its folders stay, its loaders
    // are overwritten.
    ASSERT_TRUE(CreateDirectoryA("E:\\EFI", nullptr));
    ASSERT_TRUE(CreateDirectoryA("E:\\EFI\\BOOT", nullptr));
    write_file("E:\\EFI\\BOOT\\BOOTX64.EFI", "an older loader");
    write_file("E:\\EFI\\BOOT\\grubx64.efi", "another loader of the user's");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), success_log({"a.sfs"}));
    for (const char* f : UEFI_FILES)
        EXPECT_TRUE(read_file(std::string("E:\\EFI\\BOOT\\") + f) == read_file(kit + "efi\\" + f))
            << f;
    EXPECT_EQ(read_file("E:\\EFI\\BOOT\\grubx64.efi"), "another loader of the user's");
}

TEST_F(InstallRun, WithoutTheEfiFolderTheDriveIsMadeForBiosOnly)
{
    remove_tree(folder + "efi");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), success_log({"a.sfs"}, text(IDS_NO_UEFI_LOADERS)));
    EXPECT_EQ(GetFileAttributesA("E:\\EFI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
    EXPECT_EQ(bar(), 100);
}

TEST_F(InstallRun, OneLoaderFileMissingPutsNoneOnTheTarget)
{
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    for (const char* missing : UEFI_FILES) {
        SCOPED_TRACE(missing);
        std::string kept = folder + "efi\\" + missing + ".kept";
        ASSERT_TRUE(MoveFileA((folder + "efi\\" + missing).c_str(), kept.c_str()));
        DeleteFileA((folder + "syslinux.args").c_str());
        remove_tree("E:\\EFI");
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(), success_log({"a.sfs"}, text(IDS_NO_UEFI_LOADERS)));
        EXPECT_EQ(GetFileAttributesA("E:\\EFI"), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(read_file(folder + "syslinux.args"), "syslinux -f E:\n");
        stop_app(&app);
        ASSERT_TRUE(MoveFileA(kept.c_str(), (folder + "efi\\" + missing).c_str()));
    }
}

TEST_F(InstallRun, ALoaderFolderThatCannotBeMadeIsAFailedCopy)
{
    // A plain file takes the place of the folder EFI.
    write_file("E:\\EFI", "not a folder");
    use_stand_in_7z(current_listing({{10, "a.sfs"}}), "10 a.sfs\n");
    start(images + "kavel-test.iso");
    const std::string reason = system_text(ERROR_ALREADY_EXISTS);
    ASSERT_NE(reason, "");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_DONE) +
                                  text(IDS_VERIFYING) + text(IDS_DONE) +
                                  format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_DONE) +
                                  format_text(IDS_COPYING_UEFI_LOADERS, 'E') + text(IDS_FAILED) +
                                  reason + "\r\n" + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file("E:\\EFI"), "not a folder");
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
    EXPECT_EQ(bar(), 95);
}

TEST_F(InstallRun, FormatBoxTickedTriesTheShellFormatFirst)
{
    // Wine's SHFormatDrive answers that it cannot format.
    start(images + "kavel-test.iso", true);
    EXPECT_EQ(finished_log(),
              format_text(IDS_FORMATTING, 'E') + text(IDS_FAILED) + text(IDS_INTERRUPTED));
}

TEST_F(InstallRun, AFileThatIsNoImageFailsTheImageCheckWithTheListing)
{
    start(images + "not-an-image.iso");
    std::string l = finished_log();
    // 7-Zip refuses it with a nonzero code; its listing follows the outcome.
    ASSERT_EQ(l.rfind(text(IDS_CHECKING_IMAGE) + text(IDS_FAILED), 0), 0u) << l;
    EXPECT_NE(l.find("not-an-image.iso"), std::string::npos);
    EXPECT_TRUE(ends_with(l, text(IDS_INTERRUPTED))) << l;
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, AListingWithoutSummaryCannotBeRead)
{
    use_stand_in_7z("\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) +
                                  "\r\n7-Zip (stand-in)\r\n\r\nnothing listed here\r\n" +
                                  text(IDS_INTERRUPTED));
}

TEST_F(InstallRun, ChkdskCodesAreJudgedAsTheTableSays)
{
    struct {
        const char* code;
        int outcome;
        bool goes_on;
    } cases[] = {{"1", IDS_UNKNOWN_ERROR, true},
                 {"2", IDS_MINOR_IRREGULARITY, true},
                 {"3", IDS_FAILED, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        remove_tree("E:\\kavel");
        put("chkdsk.code", c.code);
        start(images + "kavel-test.iso");
        std::string l = finished_log();
        std::string head = text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                           text(IDS_CHECKING_FILE_SYSTEM) + text(c.outcome) +
                           format_text(IDS_CHKDSK_ADVICE, 'E');
        EXPECT_EQ(l.rfind(head, 0), 0u) << l;
        if (c.goes_on)
            EXPECT_TRUE(ends_with(l, text(IDS_SUCCEEDED))) << l;
        else
            EXPECT_EQ(l, head + text(IDS_INTERRUPTED));
        stop_app(&app);
    }
}

TEST_F(InstallRun, NotEnoughSpaceNamesTheTotalInMiB)
{
    // 64 TiB and a byte: more than any test machine has free.
    long long total = (64LL << 40) + 1;
    use_stand_in_7z(current_listing({{total, "huge.sfs"}}));
    start(images + "kavel-test.iso");
    char need[64];
    wsprintfA(need, text(IDS_NOT_ENOUGH_SPACE).c_str(), static_cast<int>(total >> 20));
    EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_DONE) +
                                  text(IDS_CHECKING_FILE_SYSTEM) + text(IDS_DONE) +
                                  text(IDS_CHECKING_SPACE) + need + text(IDS_INTERRUPTED));
    EXPECT_EQ(file_size("E:\\kavel"), -1);
}

TEST_F(InstallRun, SizesPastFourGiBAreCheckedAndCountedWhole)
{
    ULARGE_INTEGER free_bytes;
    ASSERT_TRUE(GetDiskFreeSpaceExA("E:\\", &free_bytes, nullptr, nullptr));
    const long long big = 4LL * 1024 * 1024 * 1024 + 4096; // wraps a 32-bit size
    if (free_bytes.QuadPart < static_cast<unsigned long long>(big) + (64 << 20))
        GTEST_SKIP() << "the test drive has less than 4 GiB free";
    // The stand-in writes it sparse: it takes no room.
    use_stand_in_7z(current_listing({{big, "big.sfs"}, {1000, "small.sfs"}}),
                    std::to_string(big) + " big.sfs\n1000 small.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), success_log({"big.sfs", "small.sfs"}));
    EXPECT_EQ(file_size("E:\\kavel\\big.sfs"), big);
    remove_tree("E:\\kavel");
}

TEST_F(InstallRun, ASummaryWithoutFileLinesIsRefusedBeforeAnythingIsExtracted)
{
    // A folder only: the summary is there, but no file to take.
    std::string listing = current_listing({});
    listing.insert(listing.find("------------------- ----- ------------ ------------  -------------"
                                "-----------\r\n2026"),
                   "2026-12-08 01:42:31 D....            0            0  boot\r\n");
    use_stand_in_7z(listing);
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(),
              text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing + text(IDS_INTERRUPTED));
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, UnsafeNamesInTheImageAreRefused)
{
    // The last two 7-Zip would read as a switch and as a list file.
    for (const char* name :
         {"..\\..\\boot.ini", "a\"b.sfs", "C:evil.sfs", "x/y.sfs", "-ai.sfs", "@list.sfs"}) {
        SCOPED_TRACE(name);
        std::string listing = current_listing({{10, "good.sfs"}, {10, name}});
        use_stand_in_7z(listing, "10 good.sfs\n");
        DeleteFileA((folder + "7z.args").c_str());
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(), text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing +
                                      text(IDS_INTERRUPTED));
        EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
        stop_app(&app);
    }
}

TEST_F(InstallRun, EmptyFilesWithATotalOfZeroLeaveTheBarAndSucceed)
{
    use_stand_in_7z(current_listing({{0, "empty.sfs"}}), "0 empty.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), success_log({"empty.sfs"}));
    EXPECT_EQ(file_size("E:\\kavel\\empty.sfs"), 0);
}

TEST_F(InstallRun, ACommandLineThatWouldNotFitIsNeverCut)
{
    std::string name = std::string(990, 'n') + ".sfs";
    use_stand_in_7z(current_listing({{10, name}}), "10 " + name + "\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    EXPECT_TRUE(ends_with(l, text(IDS_FAILED) + text(IDS_INTERRUPTED))) << l;
    EXPECT_EQ(read_file(folder + "7z.args").find(" e -y "), std::string::npos);
}

TEST_F(InstallRun, ExtractionChildFailingWithTheRightSizeGoesOn)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "1");
    put("7z.e-out", "some warning\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), image_checks() + copy_line("a.sfs") + text(IDS_FAILED) +
                                  "some warning\r\n" + text(IDS_DONE) + text(IDS_VERIFYING) +
                                  text(IDS_DONE) + syslinux_lines() + text(IDS_SUCCEEDED));
}

TEST_F(InstallRun, AWrongSizeEndsTheRun)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}, {10, "b.sfs"}}), "4000 a.sfs\n10 b.sfs\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(),
              image_checks() + copy_line("a.sfs") + text(IDS_WRONG_SIZE) + text(IDS_INTERRUPTED));
    EXPECT_EQ(file_size("E:\\kavel\\b.sfs"), -1);
}

TEST_F(InstallRun, SyslinuxFailingShowsItsErrorTextOnly)
{
    put("syslinux.code", "1");
    put("syslinux.out", "said on standard output\r\n");
    put("syslinux.err", "said on standard error\r\n");
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    std::string tail = format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_DONE) +
                       format_text(IDS_COPYING_UEFI_LOADERS, 'E') + text(IDS_DONE) +
                       text(IDS_INSTALLING_BOOT_LOADER) + text(IDS_FAILED) +
                       "said on standard error\r\n" + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    EXPECT_EQ(bar(), 95);
}

TEST_F(InstallRun, AMissingSyslinuxCfgIsAFailedCopyWithTheSystemsReason)
{
    DeleteFileA((folder + "syslinux.cfg").c_str());
    start(images + "kavel-test.iso");
    std::string l = finished_log();
    std::string tail = format_text(IDS_CREATING_SYSLINUX_CFG, 'E') + text(IDS_FAILED) +
                       system_text(ERROR_FILE_NOT_FOUND) + "\r\n" + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    EXPECT_EQ(read_file(folder + "syslinux.args"), "");
}

TEST_F(InstallRun, AFixedDiskTargetNeedsItsPartitionNamedWhichWineCannotDo)
{
    remove_tree("F:\\kavel");
    remove_file("C:\\GRLDR");
    write_file("C:\\boot.ini", "[boot loader]\r\ntimeout=0\r\n");
    put("g2ldr.mbr", "boot-sector file of the tests");
    put("g2ldr", "GRUB 2 of the tests");
    start(images + "kavel-test.iso", false, 'F');
    std::string l = finished_log();
    std::string tail = text(IDS_IDENTIFYING_PARTITION) + text(IDS_FAILED) + text(IDS_INTERRUPTED);
    EXPECT_TRUE(ends_with(l, tail)) << l;
    // The files are in place all the same, and nothing was written on C: or
    // in the boot store.
    EXPECT_EQ(file_size("F:\\kavel\\vmlinuz"), 307200);
    for (const char* f : {"C:\\GRLDR", "C:\\g2ldr.mbr", "C:\\g2ldr", "C:\\menu.lst"})
        EXPECT_EQ(GetFileAttributesA(f), INVALID_FILE_ATTRIBUTES) << f;
    EXPECT_EQ(read_file("C:\\boot.ini"), "[boot loader]\r\ntimeout=0\r\n");
    EXPECT_EQ(read_file(folder + "bcdedit.args"), "");
    remove_tree("F:\\kavel");
    remove_file("C:\\boot.ini");
}

// Every file in the root of C:, with its attributes, size and bytes.
std::string root_of_c()
{
    std::string all;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return all;
    do {
        std::string name = found.cFileName;
        char line[512];
        wsprintfA(line, "%s %lx %lu\n", found.cFileName, found.dwFileAttributes,
                  found.nFileSizeLow);
        all += line;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            all += read_file("C:\\" + name) + "\n";
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return all;
}

// Makes the installer of this case see Windows XP (true) or the Windows 7
// the test prefix is.
void see_windows_xp(bool xp)
{
    const char key[] = "Software\\Wine\\AppDefaults\\kavel-setup.exe";
    if (!xp) {
        RegDeleteKeyA(HKEY_CURRENT_USER, key);
        return;
    }
    HKEY k;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp"), 6);
    RegCloseKey(k);
}

// The stand-in bcdedit out of the system folder while it lives.
struct no_bcdedit {
    std::string path;
    no_bcdedit()
    {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        path = std::string(system) + "\\bcdedit.exe";
        MoveFileA(path.c_str(), (path + ".away").c_str());
    }
    ~no_bcdedit() { MoveFileA((path + ".away").c_str(), path.c_str()); }
};

// A run onto the fixed drive F: that must be refused with `refusal` before
// anything is written: not F:, not C:, not the boot store, no child program.
void expect_refused_at_once(InstallRun* test, const std::string& refusal)
{
    remove_file("C:\\tovkast_drive.log");
    test->open_main(test->images + "kavel-test.iso", false, 'F');
    ASSERT_FALSE(test->HasFatalFailure());
    // After the main dialog has written its drive log.
    std::string before = root_of_c();
    ASSERT_NE(before.find("tovkast_drive.log"), std::string::npos) << before;
    test->press_start();
    EXPECT_EQ(test->finished_log(WAIT_MS), refusal + text(IDS_INTERRUPTED));
    EXPECT_EQ(root_of_c(), before);
    EXPECT_EQ(GetFileAttributesA("F:\\kavel"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(read_file(test->folder + "chkdsk.args"), "");
    EXPECT_EQ(read_file(test->folder + "bcdedit.args"), "");
    stop_app(&test->app);
}

TEST_F(InstallRun, AFixedDiskTargetWithoutAWindowsBootMenuToJoinIsRefusedBeforeAnythingChanges)
{
    remove_tree("F:\\kavel");
    // Windows 7 without bcdedit, though with a boot.ini that it never reads.
    {
        no_bcdedit gone;
        write_file("C:\\boot.ini", "[boot loader]\r\ntimeout=0\r\n");
        expect_refused_at_once(this, text(IDS_NO_BOOT_INI));
        remove_file("C:\\boot.ini");
    }
    // Windows XP without boot.ini, though bcdedit is there.
    see_windows_xp(true);
    expect_refused_at_once(this, text(IDS_NO_BOOT_INI));
    see_windows_xp(false);
}

TEST_F(InstallRun, AUefiPcOrAnEncryptedDriveIsRefusedBeforeAnythingChanges)
{
    // The installer built with what Wine cannot show steered by the environment.
    ASSERT_TRUE(CopyFileA((kit + "kavel-setup-pc-facts.exe").c_str(),
                          (folder + "kavel-setup.exe").c_str(), FALSE));
    remove_tree("F:\\kavel");
    // UEFI, 32-bit; then 64-bit with Secure Boot on; then with no EFI system partition.
    SetEnvironmentVariableA("KAVEL_TEST_UEFI", "1");
    expect_refused_at_once(this, text(IDS_UEFI_32_BIT));
    SetEnvironmentVariableA("KAVEL_TEST_64BIT", "1");
    const char key[] = "SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State";
    HKEY state;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &state, nullptr),
              ERROR_SUCCESS);
    DWORD on = 1;
    RegSetValueExA(state, "UEFISecureBootEnabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&on),
                   sizeof on);
    expect_refused_at_once(this, text(IDS_SECURE_BOOT_ON));
    RegDeleteValueA(state, "UEFISecureBootEnabled");
    RegCloseKey(state);
    expect_refused_at_once(this, text(IDS_NO_ESP));
    SetEnvironmentVariableA("KAVEL_TEST_64BIT", nullptr);
    SetEnvironmentVariableA("KAVEL_TEST_UEFI", nullptr);
    for (char encrypted : {'C', 'F'}) {
        SCOPED_TRACE(encrypted);
        SetEnvironmentVariableA("KAVEL_TEST_BITLOCKER", std::string(1, encrypted).c_str());
        expect_refused_at_once(this, format_text(IDS_BITLOCKER_DRIVE, encrypted));
    }
    SetEnvironmentVariableA("KAVEL_TEST_BITLOCKER", nullptr);
}

TEST_F(InstallRun, ChkdskFindingErrorsOnAFixedVolumeInUseGoesOnWhenWindowsMarksItClean)
{
    // The installer built with the volume's mark steered by the environment.
    ASSERT_TRUE(CopyFileA((kit + "kavel-setup-pc-facts.exe").c_str(),
                          (folder + "kavel-setup.exe").c_str(), FALSE));
    put("chkdsk.code", "3");
    const std::string checked =
        text(IDS_CHECKING_IMAGE) + text(IDS_DONE) + text(IDS_CHECKING_FILE_SYSTEM);
    SetEnvironmentVariableA("KAVEL_TEST_CLEAN", "EF");
    // F: is fixed: the check's finding is advice, and the run goes on.
    remove_tree("F:\\kavel");
    start(images + "kavel-test.iso", false, 'F');
    std::string l = finished_log();
    EXPECT_TRUE(starts_with(l, checked + text(IDS_VOLUME_IN_USE) +
                                   format_text(IDS_CHKDSK_ADVICE, 'F') + text(IDS_CHECKING_SPACE)))
        << l;
    stop_app(&app);
    remove_tree("F:\\kavel");
    // E: is removable: the finding ends the run, clean mark or not.
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(), checked + text(IDS_FAILED) + format_text(IDS_CHKDSK_ADVICE, 'E') +
                                  text(IDS_INTERRUPTED));
    stop_app(&app);
    // F: marked dirty: as before.
    SetEnvironmentVariableA("KAVEL_TEST_CLEAN", nullptr);
    start(images + "kavel-test.iso", false, 'F');
    EXPECT_EQ(finished_log(), checked + text(IDS_FAILED) + format_text(IDS_CHKDSK_ADVICE, 'F') +
                                  text(IDS_INTERRUPTED));
    EXPECT_EQ(GetFileAttributesA("F:\\kavel"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(InstallRun, AnExtractionChildEndingWithCode259IsJudgedAsFailedOnce)
{
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "259");
    put("7z.e-out", "ended with 259\r\n");
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(30000), image_checks() + copy_line("a.sfs") + text(IDS_FAILED) +
                                       "ended with 259\r\n" + text(IDS_DONE) + text(IDS_VERIFYING) +
                                       text(IDS_DONE) + syslinux_lines() + text(IDS_SUCCEEDED));
    std::string args = read_file(folder + "7z.args");
    EXPECT_EQ(args.find(" e -y "), args.rfind(" e -y ")) << args;
}

// Text of `size` bytes in lines ending in CR LF, each line numbered.
std::string numbered_lines(std::size_t size, const char* what)
{
    std::string out;
    char line[80];
    for (int i = 0; out.size() < size; ++i) {
        wsprintfA(line, "%s line %06d: abcdefghijklmnopqrstuvwxyz0123456789\r\n", what, i);
        out += line;
    }
    out.resize(size - 2);
    return out + "\r\n";
}

TEST_F(InstallRun, AnExtractionChildPrintingAMebibyteNeverBlocksTheRun)
{
    // Far more than a pipe holds, printed during one extraction.
    const std::string said = numbered_lines(1 << 20, "7z said");
    use_stand_in_7z(current_listing({{4096, "a.sfs"}, {10, "b.sfs"}}), "4096 a.sfs\n10 b.sfs\n");
    put("7z.e-out", said);
    start(images + "kavel-test.iso");
    EXPECT_EQ(finished_log(60000), success_log({"a.sfs", "b.sfs"}));
    stop_app(&app);

    // Failing, the child's whole text is shown.
    remove_tree("E:\\kavel");
    use_stand_in_7z(current_listing({{4096, "a.sfs"}}), "4096 a.sfs\n");
    put("7z.e-code", "1");
    start(images + "kavel-test.iso");
    std::string l = finished_log(60000);
    std::string expected = image_checks() + copy_line("a.sfs") + text(IDS_FAILED) + said +
                           text(IDS_DONE) + text(IDS_VERIFYING) + text(IDS_DONE) +
                           syslinux_lines() + text(IDS_SUCCEEDED);
    EXPECT_EQ(l.size(), expected.size());
    EXPECT_TRUE(l == expected) << "the log differs from what the child printed";
}

TEST_F(InstallRun, ALongListingIsShownWholeBeforeTheInterruption)
{
    // 100 KiB without a summary: far past an edit control's first limit.
    const std::string listing = numbered_lines(100 << 10, "no summary");
    use_stand_in_7z(listing);
    start(images + "kavel-test.iso");
    std::string l = finished_log(WAIT_MS);
    std::string expected =
        text(IDS_CHECKING_IMAGE) + text(IDS_NO_FILE_INFO) + listing + text(IDS_INTERRUPTED);
    EXPECT_EQ(l.size(), expected.size());
    EXPECT_TRUE(l == expected) << "the log lost text";
}

} // namespace
