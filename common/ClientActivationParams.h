// The record that goes with every activation of a spatial-audio client: a fresh tracing id, the
// family's application id and its version numbers, in COM task memory inside a PROPVARIANT of type
// VT_BLOB. The platform uses it only for event tracing.
#pragma once

#include <spatialaudioclient.h>
#include <windows.h>

#include <stdint.h>

#include "PropVariantHolder.h"

// The application id of the family, the same 16 bytes in every plug-in and build:
// {5B7C0E41-93A2-4D86-B1F4-2E6D8A3C9F17}.
constexpr GUID kZvApplicationId = {
    0x5B7C0E41, 0x93A2, 0x4D86, {0xB1, 0xF4, 0x2E, 0x6D, 0x8A, 0x3C, 0x9F, 0x17}};

constexpr int32_t kZvActivationMajorVersion = 2016;
constexpr int32_t kZvActivationMinorVersion1 = 2;
constexpr int32_t kZvActivationMinorVersion2 = 6;

// Fills out_rParams with a new record whose last version number is in_iMinorVersion3 and whose
// tracing id comes from CoCreateGuid (all zero if that fails). Returns false, leaving out_rParams
// empty, when the task memory cannot be had: the caller then activates without parameters.
bool BuildClientActivationParams(int32_t in_iMinorVersion3, PropVariantHolder& out_rParams);
