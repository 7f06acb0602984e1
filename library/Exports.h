// SPDX-License-Identifier: MIT
// The library's four exported functions, [host-main]. Nothing is thrown
// across them and nothing else is exported.
#pragma once

#include "frame/HostRecords.h"

// One macro for visibility and calling convention: the host calls the exports
// with the default C calling convention (cdecl) and finds them by their plain,
// undecorated names.
#if defined(_WIN32)
#define QUORVEIL_EXPORT extern "C" __declspec(dllexport)
#else
#define QUORVEIL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Number of modules in the table (6).
QUORVEIL_EXPORT int32_t getNumBidules();

// Fills `info` with row `index` of the module table and returns 0. For an
// index outside the table (taken as unsigned) or a null `info` it writes
// nothing and returns 1. Only the three texts and their terminators are
// written.
QUORVEIL_EXPORT int32_t fillBiduleInfo(int32_t index, plogue::biduleSDK::BiduleInfo* info);

// Creates the module whose unique id equals `uniqueId` byte for byte and
// returns the address of its PluginBlock; null for a null or unknown id or a
// failed allocation. `host` is stored in the block and must outlive the
// instance. The host owns the instance until it calls deleteInstance().
QUORVEIL_EXPORT plogue::biduleSDK::PluginBlock* newInstance(const char* uniqueId,
                                                            plogue::biduleSDK::HostRecord* host);

// Destroys the instance that contains `block` through its virtual destructor.
// Null, or a block whose `object` is null, is ignored. The block is invalid
// afterwards.
QUORVEIL_EXPORT void deleteInstance(plogue::biduleSDK::PluginBlock* block);
