#include "env/local_cfg.h"

#include <tinyxml.h>

#include "base/text.h"

bool ReadLocalCfg(const std::wstring& path, std::wstring& mainProgName,
                  std::wstring& versionFolder) {
  TiXmlDocument document;
  if (!document.LoadFile(halvora::WideToAnsi(path).c_str())) return false;
  const TiXmlElement* root = document.RootElement();
  if (!root) return false;
  const TiXmlElement* version = root->FirstChildElement("Version");
  if (!version) return false;
  const TiXmlElement* mainProg = version->FirstChildElement("MainProg");
  if (!mainProg) return false;
  if (const char* name = mainProg->Attribute("name")) mainProgName = halvora::AnsiToWide(name);
  if (const char* ver = mainProg->Attribute("ver")) versionFolder = halvora::AnsiToWide(ver);
  return !mainProgName.empty() && !versionFolder.empty();
}
