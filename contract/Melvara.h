/* The host's contract with its plug-in modules, whole.
 *
 *   contract/MelvaraExports.h        the seven exports a module defines, the menu records
 *   contract/MelvaraHostFunctions.h  the thirteen host functions, how to find them,
 *                                    the version argument, message boxes
 *   contract/MelvaraRegion.h         the 20-byte region record (the selection)
 *   contract/MelvaraFrame.h          layer frames and entry records
 *   contract/MelvaraRecords.h        record tags and key blocks
 *   contract/MelvaraBytes.h          little-endian reads and writes of host memory
 *   contract/MelvaraVersion.h        MELVARA_CONTRACT_VERSION (contract/CHANGELOG.md)
 *
 * Plain C99 and C++17; x86-64. */
#ifndef MELVARA_H
#define MELVARA_H

#include "contract/MelvaraBytes.h"
#include "contract/MelvaraExports.h"
#include "contract/MelvaraFrame.h"
#include "contract/MelvaraHostFunctions.h"
#include "contract/MelvaraRecords.h"
#include "contract/MelvaraRegion.h"
#include "contract/MelvaraVersion.h"

#endif
