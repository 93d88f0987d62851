// Every text the user can see, in one place.
#pragma once

namespace texts {

inline constexpr wchar_t kProductName[] = L"岚石阁内存整理";

// Memory figures.
inline constexpr wchar_t kMegabyteUnit[] = L" MB";
inline constexpr wchar_t kTipMemoryLabel[] = L"内存：";
inline constexpr wchar_t kTipAvailable[] = L" 可用";
inline constexpr wchar_t kDetailsHeading[] = L"** 本机内存详细资料 **";
inline constexpr wchar_t kDetailsPhysical[] = L"物理内存总量：";
inline constexpr wchar_t kDetailsVirtual[] = L"虚拟内存总量：";
inline constexpr wchar_t kDetailsPageFile[] = L"当前分页文件总量：";

// Start window.
inline constexpr wchar_t kStartCaption[] = L"Form1";
inline constexpr wchar_t kStartWelcome[] = L"欢迎使用 ----";
inline constexpr wchar_t kStartLoading[] = L"正在加载程序运行所必须的文件...";
inline constexpr wchar_t kSecondCopyText[] = L"程序已经启动！";
inline constexpr wchar_t kSecondCopyTitle[] = L"非法操作";

// Main window.
inline constexpr wchar_t kMainCaption[] = L" 岚石阁内存整理 v1.0";
inline constexpr wchar_t kCmdArrange[] = L"开始整理";
inline constexpr wchar_t kCmdHide[] = L"隐藏";
inline constexpr wchar_t kCmdAbout[] = L"关于";
inline constexpr wchar_t kCmdMemMsg[] = L"详细资料";
inline constexpr wchar_t kLblMsg1[] = L"当前共有";
inline constexpr wchar_t kLblMsg2[] = L"的物理内存可供使用";
inline constexpr wchar_t kLblMsg3[] = L"强烈建议：整理前请关闭其他所有应用程序以达到最佳效果";
inline constexpr wchar_t kProgressTip[] = L"深色部分为可用内存，浅色部分为已用内存";
// What screen readers call the bar: the tip's meaning without its colours.
// The bar's value, which they read after it, is the free part.
inline constexpr wchar_t kProgressName[] = L"可用内存";
inline constexpr wchar_t kMnuShow[] = L"显示界面(&S)";
inline constexpr wchar_t kMnuArrange[] = L"整理内存(&R)";
inline constexpr wchar_t kMnuQuit[] = L"退出程序(&Q)";

// About box: six paragraphs, one empty line between them.
inline constexpr wchar_t kAboutTitle[] = L"关于本软件";
inline constexpr wchar_t kAboutText[] =
    L"<< 岚石阁内存整理 >>\n\n"
    L"版本：1.0.0.104\n\n"
    L"程序设计：岚石阁工作室\n\n"
    L"版权所有 (C) 岚石阁工作室，保留所有权利。\n\n"
    L"联系地址：岚石阁工作室，示例路 1 号，示例市\n\n"
    L"E-mail：support@example.com";

// Arrange window.
inline constexpr wchar_t kArrangeWaiting[] = L"正在整理内存，请稍等...";
inline constexpr wchar_t kArrangeDone[] = L"内存整理完毕！单击窗体返回";
inline constexpr wchar_t kArrangeFailed[] = L"可用内存不足，整理未完成！单击窗体返回";

}  // namespace texts
