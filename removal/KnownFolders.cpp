#include "KnownFolders.h"

namespace removal {
namespace {

using B = KnownBase;

// From the KNOWNFOLDERID reference: each folder's default path, for those outside %windir%.
constexpr KnownFolderDefault kDefaults[] = {
    // %USERPROFILE%
    {"Desktop", B::Profile, u"Desktop"},
    {"Documents", B::Profile, u"Documents"},
    {"Downloads", B::Profile, u"Downloads"},
    {"Music", B::Profile, u"Music"},
    {"Pictures", B::Profile, u"Pictures"},
    {"Videos", B::Profile, u"Videos"},
    {"Favorites", B::Profile, u"Favorites"},
    {"Links", B::Profile, u"Links"},
    {"Contacts", B::Profile, u"Contacts"},
    {"SavedGames", B::Profile, u"Saved Games"},
    {"SavedSearches", B::Profile, u"Searches"},
    {"Objects3D", B::Profile, u"3D Objects"},
    {"SkyDrive", B::Profile, u"OneDrive"},
    {"SkyDriveDocuments", B::Profile, u"OneDrive\\Documents"},
    {"SkyDrivePictures", B::Profile, u"OneDrive\\Pictures"},
    {"SkyDriveMusic", B::Profile, u"OneDrive\\Music"},
    {"SkyDriveCameraRoll", B::Profile, u"OneDrive\\Pictures\\Camera Roll"},
    {"AppCaptures", B::Profile, u"Videos\\Captures"},
    {"CameraRoll", B::Profile, u"Pictures\\Camera Roll"},
    {"SavedPictures", B::Profile, u"Pictures\\Saved Pictures"},
    {"Screenshots", B::Profile, u"Pictures\\Screenshots"},
    {"Playlists", B::Profile, u"Music\\Playlists"},
    {"PhotoAlbums", B::Profile, u"Pictures\\Slide Shows"},
    {"RoamingAppData", B::Profile, u"AppData\\Roaming"},
    {"LocalAppData", B::Profile, u"AppData\\Local"},
    {"LocalAppDataLow", B::Profile, u"AppData\\LocalLow"},
    {"UserProgramFiles", B::Profile, u"AppData\\Local\\Programs"},
    {"UserProgramFilesCommon", B::Profile, u"AppData\\Local\\Programs\\Common"},
    {"AppDataDesktop", B::Profile, u"AppData\\Local\\Desktop"},
    {"AppDataDocuments", B::Profile, u"AppData\\Local\\Documents"},
    {"AppDataFavorites", B::Profile, u"AppData\\Local\\Favorites"},
    {"AppDataProgramData", B::Profile, u"AppData\\Local\\ProgramData"},
    {"History", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\History"},
    {"ApplicationShortcuts", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\Application Shortcuts"},
    {"InternetCache", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\INetCache"},
    {"InternetCache", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
    {"CDBurning", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\Burn\\Burn"},
    {"GameTasks", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\GameExplorer"},
    {"RoamedTileImages", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\RoamedTileImages"},
    {"RoamingTiles", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\RoamingTiles"},
    {"Ringtones", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\Ringtones"},
    {"SearchHistory", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\ConnectedSearch\\History"},
    {"SearchTemplates", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\ConnectedSearch\\Templates"},
    {"OriginalImages", B::Profile, u"AppData\\Local\\Microsoft\\Windows Photo Gallery\\Original Images"},
    {"Cookies", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Cookies"},
    {"Cookies", B::Profile, u"AppData\\Local\\Microsoft\\Windows\\INetCookies"},
    {"Gadgets", B::Profile, u"AppData\\Local\\Microsoft\\Windows Sidebar\\Gadgets"},
    {"NetHood", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Network Shortcuts"},
    {"PrintHood", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Printer Shortcuts"},
    {"Recent", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Recent"},
    {"SendTo", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\SendTo"},
    {"Templates", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Templates"},
    {"Libraries", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Libraries"},
    {"AccountPictures", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\AccountPictures"},
    {"StartMenu", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {"Programs", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {"Startup", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {"AdminTools", B::Profile, u"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools"},
    {"QuickLaunch", B::Profile, u"AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"},
    {"UserPinned", B::Profile, u"AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned"},
    {"ImplicitAppShortcuts", B::Profile,
     u"AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\ImplicitAppShortcuts"},
    // %ALLUSERSPROFILE%
    {"ProgramData", B::ProgramData, u""},
    {"CommonStartMenu", B::ProgramData, u"Microsoft\\Windows\\Start Menu"},
    {"CommonPrograms", B::ProgramData, u"Microsoft\\Windows\\Start Menu\\Programs"},
    {"CommonStartup", B::ProgramData, u"Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {"CommonAdminTools", B::ProgramData, u"Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools"},
    {"CommonTemplates", B::ProgramData, u"Microsoft\\Windows\\Templates"},
    {"CommonRingtones", B::ProgramData, u"Microsoft\\Windows\\Ringtones"},
    {"PublicGameTasks", B::ProgramData, u"Microsoft\\Windows\\GameExplorer"},
    {"DeviceMetadataStore", B::ProgramData, u"Microsoft\\Windows\\DeviceMetadataStore"},
    {"CommonOEMLinks", B::ProgramData, u"OEM Links"},
    {"RetailDemo", B::ProgramData, u"Microsoft\\Windows\\RetailDemo"},
    // %PUBLIC%
    {"Public", B::Public, u""},
    {"PublicDesktop", B::Public, u"Desktop"},
    {"PublicDocuments", B::Public, u"Documents"},
    {"PublicDownloads", B::Public, u"Downloads"},
    {"PublicMusic", B::Public, u"Music"},
    {"PublicPictures", B::Public, u"Pictures"},
    {"PublicVideos", B::Public, u"Videos"},
    {"PublicLibraries", B::Public, u"Libraries"},
    {"PublicUserTiles", B::Public, u"AccountPictures"},
    {"SampleMusic", B::Public, u"Music\\Sample Music"},
    {"SamplePictures", B::Public, u"Pictures\\Sample Pictures"},
    {"SampleVideos", B::Public, u"Videos\\Sample Videos"},
    {"SamplePlaylists", B::Public, u"Music\\Sample Playlists"},
    // %SystemDrive%
    {"UserProfiles", B::SystemDrive, u"Users"},
    {"ProgramFiles", B::SystemDrive, u"Program Files"},
    {"ProgramFilesX86", B::SystemDrive, u"Program Files (x86)"},
    {"ProgramFilesCommon", B::SystemDrive, u"Program Files\\Common Files"},
    {"ProgramFilesCommonX86", B::SystemDrive, u"Program Files (x86)\\Common Files"},
    {"SidebarDefaultParts", B::SystemDrive, u"Program Files\\Windows Sidebar\\Gadgets"},
    {"SidebarDefaultParts", B::SystemDrive, u"Program Files (x86)\\Windows Sidebar\\Gadgets"},  // %ProgramFiles% of 32-bit programs
};

}  // namespace

std::span<const KnownFolderDefault> KnownFolderDefaults() { return kDefaults; }

const std::u16string& KnownBases::Of(KnownBase base) const {
  switch (base) {
    case KnownBase::Profile: return profile;
    case KnownBase::ProgramData: return programData;
    case KnownBase::Public: return publicProfile;
    case KnownBase::SystemDrive: break;
  }
  return systemDrive;
}

std::u16string DefaultLocation(const KnownFolderDefault& folder, const KnownBases& bases) {
  std::u16string path = bases.Of(folder.base);
  if (path.empty() || folder.relative.empty()) return path;
  if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
  return path + std::u16string(folder.relative);
}

}  // namespace removal
