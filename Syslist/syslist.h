// The subsystem catalogue in one include: records, nodes, the tree, and the
// flat tree image format.
#pragma once

#include "Syslist/flat_image.h"
#include "Syslist/subsystem_info.h"
#include "Syslist/sys_node.h"
#include "Syslist/sys_tree.h"
