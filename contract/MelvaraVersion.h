/* The version of this contract: of the headers, not of any host.
 *
 * MAJOR changes when a module written against an older version would no
 * longer build or run as it did; MINOR when something was added or made
 * clearer. contract/CHANGELOG.md lists the changes of each version. Test
 * for what a version added with
 *     #if MELVARA_CONTRACT_VERSION >= 101
 *
 * Plain C99 and C++17. */
#ifndef MELVARA_VERSION_H
#define MELVARA_VERSION_H

#define MELVARA_CONTRACT_VERSION_MAJOR 1
#define MELVARA_CONTRACT_VERSION_MINOR 1
/* MAJOR * 100 + MINOR: 101 is 1.1. */
#define MELVARA_CONTRACT_VERSION \
    (MELVARA_CONTRACT_VERSION_MAJOR * 100 + MELVARA_CONTRACT_VERSION_MINOR)

#endif
