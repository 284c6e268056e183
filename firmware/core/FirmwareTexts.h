#pragma once

// The upgrade's messages, as the user sees them (UTF-8).
namespace firmware {

inline constexpr const char* kErrDeviceInfo = "获取设备信息失败";
inline constexpr const char* kErrNoCard = "未连接设备，请先连接设备";
inline constexpr const char* kErrServer = "获取服务器上的信息失败";
inline constexpr const char* kErrJson = "解析Json失败";
inline constexpr const char* kErrServerInfo = "从服务器上获取固件信息失败";
inline constexpr const char* kErrDownload = "下载固件失败！";
inline constexpr const char* kErrNoPackage = "下载固件失败";
inline constexpr const char* kErrNotZip = "打开压缩文件失败";
inline constexpr const char* kErrNoStepFile = "固件压缩包中未找到steps.xml";
inline constexpr const char* kErrNoMemory = "内存分配失败";
inline constexpr const char* kErrStepFileExtract = "解压缩steps.xml文件失败";
inline constexpr const char* kErrImageMissing = "压缩包中未找到固件";
inline constexpr const char* kErrImageExtract = "解压缩固件失败";
inline constexpr const char* kErrNoFirmwareInfo = "解析steps.xml失败：未找到<FirmwareInfo>节点";
// Followed by the node's name and "节点".
inline constexpr const char* kErrNodeMissingPrefix = "解析steps.xml失败：未找到";
inline constexpr const char* kErrNoFirmForHardware =
    "解析steps.xml失失败：未找到与硬件相对应的固件";
inline constexpr const char* kErrNoVersion = "解析steps.xml失败：未找到固件版本";
inline constexpr const char* kErrBadVersion = "解析steps.xml失败：固件版本无效";
inline constexpr const char* kErrNoSteps = "解析steps.xml失败：未找到<Steps>节点";
inline constexpr const char* kErrWrongHardware = "解析steps.xml失败：硬件版本不正确";
inline constexpr const char* kErrStepCount = "解析steps.xml失败：Steps个数不正确";
inline constexpr const char* kErrNeedVersion = "解析steps.xml失败：NeedVersion不正确";
inline constexpr const char* kErrStepVersion = "解析steps.xml失败：Version不正确";
inline constexpr const char* kErrStepFile = "解析steps.xml失败：File固件文件名不正确";
// An image the loader could not take: refused before the card is touched.
inline constexpr const char* kErrImageEmpty = "固件压缩包中的固件文件为空";
inline constexpr const char* kErrImageTooLarge = "固件压缩包中的固件文件过大";
inline constexpr const char* kErrWriteFailed = "固件升级失败：写入固件失败";
inline constexpr const char* kErrNoSuitableStep = "没有进行固件更新，因为没有找到合适的固件";
inline constexpr const char* kErrLoaderMissing = "未找到升级模式下的设备";
// Another program of ours writes the card's firmware now (followed by its name and process).
inline constexpr const char* kErrOtherWriter = "另一个程序正在升级声卡固件，请等待其完成";
// What the desktop shows for the inhibitor lock held while the firmware is written.
inline constexpr const char* kInhibitReason = "正在升级声卡固件，请勿关机或休眠";
// An effect file or clip loads into the card: the firmware is not written meanwhile.
inline constexpr const char* kErrLineBusy = "正在载入特效，暂时不能升级固件";
inline constexpr const char* kErrNoWriterLock = "无法创建固件升级锁文件，未进行升级";
// A card found in its loader whose versions were not remembered before it entered it.
inline constexpr const char* kErrUnknownHardware = "无法确认声卡硬件版本，请联系客服";
inline constexpr const char* kErrRememberVersions = "无法保存声卡版本信息，未进行升级";

inline constexpr const char* kUpgradeWarning =
    "1.升级固件有损坏设备的风险,请慎重升级。       "
    "\n2.升级时请勿拔出设备,请勿移动设备或碰触USB线。\n"
    "3.升级时电脑不能插入两个及两个以上声卡。      \n4.升级过程中请勿关闭固件升级窗口。\t\t        "
    "\n";
inline constexpr const char* kWritingNotice =
    "1.请勿拔出设备，请勿移动设备或碰触USB线。\n2.升级时电脑不能插入两个及两个以上声卡。 \n"
    "3.升级过程中请勿关闭固件升级窗口。\t     \n";
inline constexpr const char* kDoneText =
    "升级完成，请拔掉声卡设备的USB，然后重新插上USB，重启声卡设备。";
inline constexpr const char* kServicePhone = "400-000-0000";
inline constexpr const char* kRecoveryText =
    "为了避免损坏设备，请您不要拔出设备，先关闭“固件升级”对话框后，\n"
    "在主菜单中点击菜单项“固件升级”尝试重新升级。\n"
    "如果因为升级固件失败造成设备损坏，请联系我们解决。\n";
inline constexpr const char* kUpToDate = "固件已经是最新版本";
inline constexpr const char* kClickUpgrade = "点击“立即升级”按钮开始升级";

}  // namespace firmware
