// Writing the subsystem catalogue into an IDF text file: a "SubSystems"
// section listing every subsystem in pre-order, then one section per
// subsystem in the same order (layout in catalogue_format.h).
#include "Syslist/catalogue_format.h"
#include "Syslist/node_walk.h"
#include "Syslist/sys_tree.h"
#include "Tidf/idf_text_file.h"
#include "host/base/exception.h"
#include "host/base/text.h"

namespace instkit {

namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void AddTextParam(TIDFSection* section, const char* name, const std::string& value) {
  section->AddParam(name, kCatalogueParamType)->SetAsString(value);
}

// The catalogue entry (when Catalogue is not null) and the section of one
// subsystem.
void SaveOne(const TSubsystemInfo& info, TIDFSection* Catalogue, TIDFTextFile* File) {
  if (Catalogue != nullptr) Catalogue->AddParam(info.SaveName, kCatalogueParamType)->SetAsInteger(info.SysIndex);

  TIDFSection* section = File->AddSection(info.SaveName);
  section->AddParam(kKeyParent, kCatalogueParamType)->SetAsInteger(info.Parent);
  AddTextParam(section, kKeyDepend, info.Depend);
  AddTextParam(section, kKeyLibrary, info.Library);
  AddTextParam(section, kKeyParameter, info.Parameter);
  AddTextParam(section, kKeyArchive, info.Archive);
  AddTextParam(section, kWriteKeyShortName, info.ShortName);
  AddTextParam(section, kWriteKeyFullName, info.FullName);

  // Links: menu and desktop items share one ordinal; an item with neither
  // marker is not written but still uses up its ordinal.  The items are the
  // texts between "*" separators; a trailing "*" ends the list.
  std::string_view rest = info.Links;
  int32_t ordinal = 0;
  while (!rest.empty()) {
    const size_t star = rest.find(kLinkSeparator);
    const std::string_view item = rest.substr(0, star);
    rest = star == std::string_view::npos ? std::string_view() : rest.substr(star + 1);
    const std::string number = IntToStr(++ordinal);
    if (EndsWith(item, kLinkMarkerMenu)) {
      section->AddParam(kWriteKeyMenuLink + number, kCatalogueParamType)
          ->SetAsString(std::string(item.substr(0, item.size() - 5)));
    } else if (EndsWith(item, kLinkMarkerDesktop)) {
      section->AddParam(kWriteKeyDesktopLink + number, kCatalogueParamType)
          ->SetAsString(std::string(item.substr(0, item.size() - 8)));
    }
  }
}

}  // namespace

void TSysNode::SaveNode(TIDFSection* Catalogue, TIDFTextFile* File) const {
  if (File == nullptr) throw ECatalogueError("no file to save the catalogue into");
  WalkNodes(this, [&](const TSysNode* node) { SaveOne(*node->Info, Catalogue, File); });
}

bool TSysTree::SaveToIDFFile(TIDFTextFile* File) const {
  if (File == nullptr) return false;
  try {
    TIDFSection* catalogue = File->AddSection(kCatalogueSection);
    for (const auto& node : Nodes) node->SaveNode(catalogue, File);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace instkit
