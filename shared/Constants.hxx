// Names both programs must spell identically: notification names, the payload key, settings keys.
// Each constant's text is its own name, except StartupItemListKey.
#pragma once

namespace tessaly {

#define TESSALY_NAMED_CONSTANT(name) inline constexpr char name[] = #name

// Notifications from the settings window to the helper.
TESSALY_NAMED_CONSTANT(TSY_SiteParamChange_Notification);
TESSALY_NAMED_CONSTANT(TSY_ImageSizey_Changed_Notification);
TESSALY_NAMED_CONSTANT(Interval_Changed_Notification);
TESSALY_NAMED_CONSTANT(Stop_Lumibay_Helper_Notification);
// The one user-information entry of the image-size and interval notifications.
TESSALY_NAMED_CONSTANT(Lumibay_Message_Key);

// Settings keys.
TESSALY_NAMED_CONSTANT(Active_Flag_Key);
TESSALY_NAMED_CONSTANT(Check_Interval_Key);
TESSALY_NAMED_CONSTANT(Site_Name_Key);
TESSALY_NAMED_CONSTANT(TopPage_Key);
TESSALY_NAMED_CONSTANT(Num_Of_Col_Key);
TESSALY_NAMED_CONSTANT(Picture_SPace_Key);
TESSALY_NAMED_CONSTANT(Site_Image_Size);
TESSALY_NAMED_CONSTANT(MenuWidth_Key);
TESSALY_NAMED_CONSTANT(MenuFontSize_Key);
TESSALY_NAMED_CONSTANT(AlbumTitleFontSize_Key);
TESSALY_NAMED_CONSTANT(AlbumCommentFontSize_Key);
TESSALY_NAMED_CONSTANT(PictureTitleFontSize_Key);
TESSALY_NAMED_CONSTANT(PictureCommentFontSize_Key);
TESSALY_NAMED_CONSTANT(MenuStringColor_Key);
TESSALY_NAMED_CONSTANT(MenuBkgndColor_Key);
TESSALY_NAMED_CONSTANT(AlbumTitleColor_Key);
TESSALY_NAMED_CONSTANT(AlbumCommentColor_Key);
TESSALY_NAMED_CONSTANT(PictureBkgndColor_Key);
TESSALY_NAMED_CONSTANT(PictureTitleColor_Key);
TESSALY_NAMED_CONSTANT(PictureCommentColor_Key);
TESSALY_NAMED_CONSTANT(Last_Update_Date);
TESSALY_NAMED_CONSTANT(Last_Modified_Date);
TESSALY_NAMED_CONSTANT(Publish_Events_Key);
TESSALY_NAMED_CONSTANT(Library_Source_Key);
TESSALY_NAMED_CONSTANT(Library_Folder_Key);

#undef TESSALY_NAMED_CONSTANT

// Key of the login-item list in the session's start-up preferences.
inline constexpr char StartupItemListKey[] = "AutoLaunchedApplicationDictionary";

// The D-Bus address of the notifications: every notification is a signal of this interface whose
// member is the notification name.
inline constexpr char kNotificationPath[] = "/org/tessaly/Lumibay";
inline constexpr char kNotificationInterface[] = "org.tessaly.Lumibay";
// The name a running helper holds on the session bus: one helper per user publishes, and whoever
// starts a helper can wait for the previous one to let go of it.
inline constexpr char kHelperServiceName[] = "org.tessaly.LumibayHelper";

} // namespace tessaly
