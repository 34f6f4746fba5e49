// Menu and desktop links of installed subsystems, as freedesktop.org desktop
// entries.
//
// A catalogue link value (one item of a subsystem's Links, without its
// "?menu"/"?desktop" marker) is "Title" or "Title|Command":
//   - the title becomes the entry's Name;
//   - with a command, the entry is an application (Type=Application,
//     Exec=Command);
//   - without one, the entry is a link (Type=Link) to the default target the
//     host gives (the installation's folder), so it opens that folder.
// Menu links go to <applications folder>/, desktop links to <desktop folder>/
// (made executable, as desktop environments want for launchers).  The file
// name is "instkit-<product>-<title>-<hash>.desktop": product and title with
// every byte but A-Z a-z 0-9 replaced by "_", and an 8-digit hash of the
// exact product, kind and value, so each link has exactly one file and
// uninstalling finds it again from the same catalogue text.
//
// Texts arrive as Windows-1251 and are written as UTF-8, as desktop entries
// must be.  Files are written atomically.  Failures raise EInOutError naming
// the file.
#pragma once

#include <string>

namespace instkit {

struct TLinkFolders {
  std::string Applications;  // menu entries
  std::string Desktop;       // desktop entries
};

// $XDG_DATA_HOME/applications (default ~/.local/share/applications) and the
// desktop folder ($XDG_DESKTOP_DIR, default ~/Desktop).
TLinkFolders DefaultLinkFolders();
// <root>/applications and <root>/Desktop: for tests and staged installs.
TLinkFolders LinkFoldersBelow(const std::string& root);

class TDesktopLinks {
 public:
  // `product`: the installation's name (Windows-1251); `default_target`: the
  // absolute folder a link without a command opens, as the file system
  // spells it (its URL percent-encodes those bytes: UTF-8 here).
  TDesktopLinks(TLinkFolders folders, std::string product, std::string default_target);

  // The file that holds the entry of one link value.
  std::string EntryPath(const std::string& value, bool desktop) const;
  // Creates or replaces the entry; returns its path.  `comment` (Windows-1251)
  // goes into the entry's Comment when not empty.
  std::string Create(const std::string& value, bool desktop, const std::string& comment = std::string());
  // Removes the entry; false when there was none.
  bool Remove(const std::string& value, bool desktop);

  // The entry's text, as Create writes it.
  std::string EntryText(const std::string& value, const std::string& comment) const;

 private:
  TLinkFolders folders_;
  std::string product_;
  std::string default_target_;
};

}  // namespace instkit
