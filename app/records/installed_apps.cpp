#include "app/records/installed_apps.h"

#include <tinyxml.h>

namespace halvora {

void StartRecordList(TiXmlDocument& document) { document.InsertEndChild(TiXmlElement("root")); }

bool AppendRecord(TiXmlDocument& document, const std::string& appId, const std::string& type) {
  TiXmlElement* list = document.FirstChildElement();
  if (!list) return false;
  TiXmlElement item("item");
  item.SetAttribute("appid", appId);
  item.SetAttribute("type", type);
  list->InsertEndChild(item);
  return true;
}

std::string RecordTypeText(int appType, int installTypeId) {
  return std::to_string(appType) + "|" + std::to_string(installTypeId);
}

std::wstring RecordsFolder(const std::wstring& userDataFolder) {
  return userDataFolder.empty() ? std::wstring() : userDataFolder + L"\\Orbanta Apps\\";
}

}  // namespace halvora
