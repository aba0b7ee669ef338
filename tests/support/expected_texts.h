#pragma once
// What the user must see, in UTF-8, written down independently of the
// resource script so that a wrong or missing text there shows.

#include <string>

#include "resources/resource_ids.h"
#include "ui_driver.h"

inline const char* expected_text(int id)
{
    switch (id) {
    case IDS_MAIN_TITLE:
        return "Kavel Linux U盘/硬盘安装程序";
    case IDS_IMAGE_GROUP:
        return "Kavel Linux光盘镜像";
    case IDS_IMAGE_ADVICE:
        return "请在下面的输入框中填入Kavel Linux光盘镜像文件的位置。小VorbanLinux（中文版Kavel "
               "Linux）的镜像文件可以通过点击右边的按钮下载。";
    case IDS_DRIVE_GROUP:
        return "安装到哪个分区";
    case IDS_DRIVE_ADVICE:
        return "请选择希望把Kavel "
               "Linux安装到哪一个U盘或硬盘分区。如果U盘容量小于2G，最好格式化成FAT（FAT16）格式，这"
               "样对较老电脑有更好的兼容性。";
    case IDS_BROWSE:
        return "浏览(&B)...";
    case IDS_FORMAT:
        return "安装前格式化(&F)";
    case IDS_START:
        return "开始(&S)";
    case IDS_EXIT:
        return "退出(&E)";
    case IDS_NO_IMAGE:
        return "请指定光盘镜像文件。";
    case IDS_CAP_ERROR:
        return "错误";
    case IDS_NOT_AN_IMAGE:
        return "%s 不是一个有效的光盘镜像文件。";
    case IDS_NO_DRIVE:
        return "请指定所要安装到的盘符。";
    case IDS_PROGRESS_TITLE:
        return "安装";
    case IDS_STOP:
        return "中止(&S)";
    case IDS_CLOSE:
        return "关闭(&S)";
    case IDS_FORMATTING:
        return "格式化 %c: ... ";
    case IDS_FAILED:
        return "失败\r\n";
    case IDS_CANCELLED:
        return "取消\r\n";
    case IDS_DONE:
        return "完成\r\n";
    case IDS_CHECKING_IMAGE:
        return "检测光盘镜像文件 ... ";
    case IDS_NO_FILE_INFO:
        return "无法读取文件信息\r\n";
    case IDS_CHECKING_FILE_SYSTEM:
        return "检测硬盘文件系统 ... ";
    case IDS_MINOR_IRREGULARITY:
        return "轻微异常\r\n";
    case IDS_UNKNOWN_ERROR:
        return "未知错误\r\n";
    case IDS_CHKDSK_ADVICE:
        return "建议在DOS窗口下运行下面的命令修复文件系统\r\n chkdsk /F /V %c:\r\n";
    case IDS_CHECKING_SPACE:
        return "检测硬盘容量 ... ";
    case IDS_NOT_ENOUGH_SPACE:
        return "容量不足，需要%dM空间\r\n";
    case IDS_COPYING:
        return "复制 %c:\\%s%s ... ";
    case IDS_WRONG_SIZE:
        return "文件大小不正确\r\n";
    case IDS_CREATING_SYSLINUX_CFG:
        return "创建 %c:\\syslinux.cfg ... ";
    case IDS_INSTALLING_BOOT_LOADER:
        return "安装引导程序 ... ";
    case IDS_IDENTIFYING_PARTITION:
        return "分区识别 ... ";
    case IDS_EDITING_MENU_LST:
        return "修改 C:\\menu.lst ... ";
    case IDS_CANNOT_OPEN:
        return "无法打开\r\n";
    case IDS_EDITING_BOOT_INI:
        return "修改 C:\\boot.ini ... ";
    case IDS_SUCCEEDED:
        return "安装成功！";
    case IDS_INTERRUPTED:
        return "安装中断！";
    case IDS_CAP_HELP:
        return "帮助";
    case IDS_ABOUT:
        return "欢迎到 https://kavel-linux.org/ 咨询。\r\n\r\n作者：林凯 (lin.kai@kavel-linux.org) "
               "周文涛 (zhou.wentao@kavel-linux.org)";
    case IDS_COPYING_UEFI_LOADERS:
        return "复制UEFI引导文件到 %c:\\EFI\\BOOT ... ";
    case IDS_NO_UEFI_LOADERS:
        return "缺少UEFI引导文件，此盘只能在传统BIOS电脑上启动\r\n";
    case IDS_WAITING_FOR_PREVIOUS_RUN:
        return "等待上一次安装结束 ... ";
    case IDS_NO_BOOT_INI:
        return "此Windows没有C:\\boot.ini，无法添加硬盘启动项，请安装到U盘\r\n";
    default:
        return "";
    }
}

// The same text in code page 936, as the installer shows it.
inline std::string text(int id)
{
    return cp936(expected_text(id));
}
