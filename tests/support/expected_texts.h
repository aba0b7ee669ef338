#pragma once
// What the user must see, in UTF-8, written down independently of the
// resource script so that a wrong or missing text there shows.

#include <string>

#include "resources/resource_ids.h"
#include "ui_driver.h"

inline const char* expected_text(int id)
{
    static const struct {
        int id;
        const char* utf8;
    } texts[] = {
        {IDS_MAIN_TITLE, "Kavel Linux U盘/硬盘安装程序"},
        {IDS_IMAGE_GROUP, "Kavel Linux光盘镜像"},
        {IDS_IMAGE_ADVICE,
         "请在下面的输入框中填入Kavel Linux光盘镜像文件的位置。小VorbanLinux（中文版Kavel "
         "Linux）的镜像文件可以通过点击右边的按钮下载。"},
        {IDS_DRIVE_GROUP, "安装到哪个分区"},
        {IDS_DRIVE_ADVICE,
         "请选择希望把Kavel "
         "Linux安装到哪一个U盘或硬盘分区。如果U盘容量小于2G，最好格式化成FAT（FAT16）格式，这"
         "样对较老电脑有更好的兼容性。"},
        {IDS_BROWSE, "浏览(&B)..."},
        {IDS_FORMAT, "安装前格式化(&F)"},
        {IDS_START, "开始(&S)"},
        {IDS_EXIT, "退出(&E)"},
        {IDS_NO_IMAGE, "请指定光盘镜像文件。"},
        {IDS_CAP_ERROR, "错误"},
        {IDS_NOT_AN_IMAGE, "%s 不是一个有效的光盘镜像文件。"},
        {IDS_NO_DRIVE, "请指定所要安装到的盘符。"},
        {IDS_PROGRESS_TITLE, "安装"},
        {IDS_STOP, "中止(&S)"},
        {IDS_CLOSE, "关闭(&S)"},
        {IDS_FORMATTING, "格式化 %c: ... "},
        {IDS_FAILED, "失败\r\n"},
        {IDS_CANCELLED, "取消\r\n"},
        {IDS_DONE, "完成\r\n"},
        {IDS_CHECKING_IMAGE, "检测光盘镜像文件 ... "},
        {IDS_NO_FILE_INFO, "无法读取文件信息\r\n"},
        {IDS_CHECKING_FILE_SYSTEM, "检测硬盘文件系统 ... "},
        {IDS_MINOR_IRREGULARITY, "轻微异常\r\n"},
        {IDS_UNKNOWN_ERROR, "未知错误\r\n"},
        {IDS_CHKDSK_ADVICE, "建议在DOS窗口下运行下面的命令修复文件系统\r\n chkdsk /F /V %c:\r\n"},
        {IDS_CHECKING_SPACE, "检测硬盘容量 ... "},
        {IDS_NOT_ENOUGH_SPACE, "容量不足，需要%dM空间\r\n"},
        {IDS_COPYING, "复制 %c:\\%s%s ... "},
        {IDS_WRONG_SIZE, "文件大小不正确\r\n"},
        {IDS_CREATING_SYSLINUX_CFG, "创建 %c:\\syslinux.cfg ... "},
        {IDS_INSTALLING_BOOT_LOADER, "安装引导程序 ... "},
        {IDS_IDENTIFYING_PARTITION, "分区识别 ... "},
        {IDS_EDITING_MENU_LST, "修改 C:\\menu.lst ... "},
        {IDS_CANNOT_OPEN, "无法打开\r\n"},
        {IDS_EDITING_BOOT_INI, "修改 C:\\boot.ini ... "},
        {IDS_SUCCEEDED, "安装成功！"},
        {IDS_INTERRUPTED, "安装中断！"},
        {IDS_CAP_HELP, "帮助"},
        {IDS_ABOUT,
         "欢迎到 https://kavel-linux.org/ 咨询。\r\n\r\n作者：林凯 (lin.kai@kavel-linux.org) "
         "周文涛 (zhou.wentao@kavel-linux.org)"},
        {IDS_COPYING_UEFI_LOADERS, "复制UEFI引导文件到 %c:\\EFI\\BOOT ... "},
        {IDS_NO_UEFI_LOADERS, "缺少UEFI引导文件，此盘只能在传统BIOS电脑上启动\r\n"},
        {IDS_WAITING_FOR_PREVIOUS_RUN, "等待上一次安装结束 ... "},
        {IDS_NO_BOOT_INI, "此Windows没有C:\\boot.ini，无法添加硬盘启动项，请安装到U盘\r\n"},
        {IDS_ADDING_BOOT_MENU_ENTRY, "添加Windows启动菜单项 ... "},
        {IDS_CHECKING_BOOT_MENU_TIMEOUT, "检查Windows启动菜单等待时间 ... "},
        {IDS_UEFI_32_BIT, "此电脑以32位UEFI方式启动Windows，本程序只有64位UEFI的GRUB，无法添加硬盘启动项，请安装到U盘（UEFI启动U盘需关闭安全启动）\r\n"},
        {IDS_BITLOCKER_DRIVE,
         "%c:盘已用BitLocker加密，GRUB无法读取，无法添加硬盘启动项，请安装到U盘\r\n"},
        {IDS_BOOT_MENU_ENTRY_LEFT,
         "无法删除Windows启动菜单项，建议在DOS窗口下运行下面的命令删除\r\n bcdedit /delete %s\r\n"},
        {IDS_VERIFYING, "校验写入的文件 ... "},
        {IDS_DIFFERS_AT, "%c:\\kavel\\%s 从第%I64d字节起与光盘镜像不同\r\n"},
        {IDS_FILE_SHORT, "%c:\\kavel\\%s 不完整，只读回%I64d字节\r\n"},
        {IDS_READ_BACK_FAILED, "无法读回 %c:\\kavel\\%s："},
        {IDS_DRIVE_LOSES_DATA, "此盘没有保存好写入的数据，可能已损坏或是扩容盘，请不要用它启动Kavel Linux\r\n"},
        {IDS_SECURE_BOOT_ON, "此电脑开启了安全启动（Secure Boot），GRUB无法启动，无法添加硬盘启动项，请安装到U盘（UEFI启动U盘同样需关闭安全启动）\r\n"},
        {IDS_NO_ESP, "Windows所在的硬盘上找不到EFI系统分区，无法添加硬盘启动项，请安装到U盘（UEFI启动U盘需关闭安全启动）\r\n"},
        {IDS_COPYING_TO_ESP, "复制GRUB到EFI系统分区的\\EFI\\kavel ... "},
        {IDS_ADDING_FIRMWARE_ENTRY, "添加UEFI固件启动项 ... "},
        {IDS_HOW_TO_START_UEFI, "启动Kavel Linux：开机时按启动菜单键（因厂商而异，常见F12、F11、F8或Esc）选择Kavel Linux (tovkast)，或在Windows的高级启动中选择“使用设备”\r\n"},
        {IDS_DRIVE_NOT_VISIBLE, "%c:盘在此程序中不存在。以管理员身份运行的程序看不到当前用户映射的网络驱动器，请把光盘镜像复制到本地硬盘后再试。"},
        {IDS_VOLUME_IN_USE, "分区正在使用，检查结果不可靠；Windows记录此分区没有错误\r\n"},
    };
    for (const auto& t : texts)
        if (t.id == id)
            return t.utf8;
    return "";
}

// The same text in code page 936, as the installer shows it.
inline std::string text(int id)
{
    return cp936(expected_text(id));
}
