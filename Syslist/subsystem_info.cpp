#include "Syslist/subsystem_info.h"

namespace instkit {

void TSubsystemInfo::Assign(const TSubsystemInfo& Source) {
  if (&Source == this) return;
  Archive = Source.Archive;
  Depend = Source.Depend;
  FullName = Source.FullName;
  Library = Source.Library;
  Parameter = Source.Parameter;
  Parent = Source.Parent;
  SaveName = Source.SaveName;
  ShortName = Source.ShortName;
  SysIndex = Source.SysIndex;
  Links = Source.Links;
}

}  // namespace instkit
