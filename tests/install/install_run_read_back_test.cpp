// The read-back of every written file: what the drive gives back must be
// what the image holds, or the run ends with a warning about the drive.
#include "install_run.h"

namespace {

// The real 7-Zip behind a wrapper that damages an extracted file once the
// last one, vmlinuz, is written, as a drive that loses or wraps writes would.
void use_damaging_7z(InstallRun* run)
{
    ASSERT_TRUE(
        CopyFileA((run->kit + "7z.exe").c_str(), (run->folder + "7z_real.exe").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA((run->kit + "damaging_7z.exe").c_str(), (run->folder + "7z.exe").c_str(), FALSE));
}

TEST_F(InstallRun, ADriveThatLostWritesIsCaughtWithTheFileAndWhere)
{
    std::string extracted = image_checks();
    for (const char* name : {"base.sfs", "initrd.gz", "my apps.sfs", "vmlinuz"})
        extracted += copy_line(name) + text(IDS_DONE);
    extracted += text(IDS_VERIFYING) + text(IDS_FAILED);
    const struct {
        const char* damage;
        std::string outcome;
    } cases[] = {
        // In the second request of the read-back: 1 MiB and 1000 bytes in.
        {"vmlinuz base.sfs flip 1049576", format_text(IDS_DIFFERS_AT, 'E', "base.sfs", 1049576LL)},
        {"vmlinuz initrd.gz flip 0", format_text(IDS_DIFFERS_AT, 'E', "initrd.gz", 0LL)},
        {"vmlinuz base.sfs cut 1048577", format_text(IDS_FILE_SHORT, 'E', "base.sfs", 1048577LL)},
        {"vmlinuz base.sfs folder 0",
         format_text(IDS_READ_BACK_FAILED, 'E', "base.sfs") + system_text(ERROR_ACCESS_DENIED)},
    };
    use_damaging_7z(this);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        remove_tree("E:\\kavel");
        put("7z.damage", c.damage);
        start(images + "kavel-test.iso");
        EXPECT_EQ(finished_log(),
                  extracted + c.outcome + text(IDS_DRIVE_LOSES_DATA) + text(IDS_INTERRUPTED));
        // Nothing of the boot loader is written on a drive that lost data.
        EXPECT_EQ(read_file(folder + "syslinux.args"), "");
        EXPECT_EQ(GetFileAttributesA("E:\\syslinux.cfg"), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(wait_until([&] { return children_named(&app, "7z.exe").empty(); }, WAIT_MS));
        stop_app(&app);
    }
    remove_tree("E:\\kavel");
}

TEST_F(InstallRun, StopDuringTheReadBackEndsItsArchiverAndTheRun)
{
    // 8 MiB written at once; 7-Zip's test of the image takes 10 s.
    use_stand_in_7z(current_listing({{8 << 20, "slow.sfs"}}), "8388608 slow.sfs\n");
    put("7z.t-ms", "10000");
    start(images + "kavel-test.iso");
    ASSERT_TRUE(log_has(text(IDS_VERIFYING)));
    // The bar goes on from where the extraction left it, to 90 once the
    // target is read.
    EXPECT_TRUE(wait_until([&] { return bar() == 90; }, WAIT_MS)) << bar();
    ASSERT_EQ(children_named(&app, "7z.exe").size(), 1u);
    click(progress, IDC_STOP_CLOSE);
    EXPECT_EQ(finished_log(WAIT_MS), image_checks() + copy_line("slow.sfs") + text(IDS_DONE) +
                                         text(IDS_VERIFYING) + text(IDS_CANCELLED) +
                                         text(IDS_INTERRUPTED));
    EXPECT_TRUE(wait_until([&] { return children_named(&app, "7z.exe").empty(); }, 2000));
    remove_tree("E:\\kavel");
}

} // namespace
