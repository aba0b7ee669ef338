#pragma once
// What the user must see, in UTF-8, written down independently of the
// resource script so that a wrong or missing text there shows.

inline const char* expected_text(int id)
{
    switch (id) {
    case 1:
        return "Kavel Linux U盘/硬盘安装程序";
    case 2:
        return "Kavel Linux光盘镜像";
    case 3:
        return "请在下面的输入框中填入Kavel Linux光盘镜像文件的位置。小VorbanLinux（中文版Kavel "
               "Linux）的镜像文件可以通过点击右边的按钮下载。";
    case 4:
        return "安装到哪个分区";
    case 5:
        return "请选择希望把Kavel "
               "Linux安装到哪一个U盘或硬盘分区。如果U盘容量小于2G，最好格式化成FAT（FAT16）格式，这"
               "样对较老电脑有更好的兼容性。";
    case 6:
        return "浏览(&B)...";
    case 7:
        return "安装前格式化(&F)";
    case 8:
        return "开始(&S)";
    case 9:
        return "退出(&E)";
    case 10:
        return "请指定光盘镜像文件。";
    case 11:
        return "错误";
    case 12:
        return "%s 不是一个有效的光盘镜像文件。";
    case 13:
        return "请指定所要安装到的盘符。";
    case 14:
        return "安装";
    case 15:
        return "中止(&S)";
    case 16:
        return "关闭(&S)";
    case 17:
        return "格式化 %c: ... ";
    case 18:
        return "失败\r\n";
    case 19:
        return "取消\r\n";
    case 20:
        return "完成\r\n";
    case 21:
        return "检测光盘镜像文件 ... ";
    case 22:
        return "无法读取文件信息\r\n";
    case 23:
        return "检测硬盘文件系统 ... ";
    case 24:
        return "轻微异常\r\n";
    case 25:
        return "未知错误\r\n";
    case 26:
        return "建议在DOS窗口下运行下面的命令修复文件系统\r\n chkdsk /F /V %c:\r\n";
    case 27:
        return "检测硬盘容量 ... ";
    case 28:
        return "容量不足，需要%dM空间\r\n";
    case 29:
        return "复制 %c:\\%s%s ... ";
    case 30:
        return "文件大小不正确\r\n";
    case 31:
        return "创建 %c:\\syslinux.cfg ... ";
    case 32:
        return "安装引导程序 ... ";
    case 33:
        return "分区识别 ... ";
    case 34:
        return "修改 C:\\menu.lst ... ";
    case 35:
        return "无法打开\r\n";
    case 36:
        return "修改 C:\\boot.ini ... ";
    case 37:
        return "安装成功！";
    case 38:
        return "安装中断！";
    case 39:
        return "帮助";
    case 40:
        return "欢迎到 https://kavel-linux.org/ 咨询。\r\n\r\n作者：林凯 (lin.kai@kavel-linux.org) "
               "周文涛 (zhou.wentao@kavel-linux.org)";
    case 41:
        return "复制UEFI引导文件到 %c:\\EFI\\BOOT ... ";
    case 42:
        return "缺少UEFI引导文件，此盘只能在传统BIOS电脑上启动\r\n";
    default:
        return "";
    }
}
