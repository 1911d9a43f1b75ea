#pragma once
// The kinds of application the platform publishes. The servers describe a
// kind by two numbers (appType, installTypeId); this is the one place that
// reads them, and everything that depends on the kind (what is downloaded,
// the setup's command line, how presence is decided) switches on AppKind.

namespace halvora {

enum class AppKind {
  // appType 3, installTypeId 1: the client program's package, installed by
  // its setup program (empty command line), found through the location
  // specs of the client program.
  SetupInstalled,
  // appType 3, installTypeId 3: the package named under "GreenSoftApp";
  // present through the launcher Quorlinde.exe and LocalCfg.xml.
  Portable,
  // appType 3 with any other installTypeId: as Portable, but never found
  // present.
  OtherPortable,
  // appType 6, any installTypeId: the package named under "ExcelApp";
  // present through the launcher Varnethel.exe and LocalCfg.xml.
  Viewer,
  // appType 8, any installTypeId: the client program's package like
  // SetupInstalled, but never found present.
  ClientPackage,
  // Any other appType: nothing is downloaded, never present.
  Other,
};

constexpr AppKind AppKindOf(int appType, int installTypeId) {
  switch (appType) {
    case 3:
      if (installTypeId == 1) return AppKind::SetupInstalled;
      return installTypeId == 3 ? AppKind::Portable : AppKind::OtherPortable;
    case 6:
      return AppKind::Viewer;
    case 8:
      return AppKind::ClientPackage;
    default:
      return AppKind::Other;
  }
}

}  // namespace halvora
