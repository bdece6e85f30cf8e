// The text of the reference store: its records, its lines and how an update rewrites it.
//
// A record is one line "key,time,v1,v2,v3,v4,v5" ending in CR LF. A line belongs to a
// key when it begins with the key followed by ","; keys compare byte for byte. Lines
// are read with LF as the line end and a CR before it dropped. Pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"

namespace corvantis {

// A line of the store as a check reads it.
struct StoreRecord {
  std::string key;  // the text before the first comma
  std::uint64_t time = 0;
  FeatureVector values;
  // Why a check does not trust the record, so computes the signature again; empty when
  // it does.
  std::string distrust;
};

// True when `line` is a record of `key`.
bool belongsTo(const std::string& line, const std::string& key);

// Reads `line` as a check does; false when it is no record at all (a comment, which
// begins with ";", or a line without a comma). A check trusts a record only when its
// time is a whole number above 0 and it has exactly kFeatureCount values, each a finite
// decimal number written as the store writes it: no blanks, no "+", nothing after it.
bool parseRecord(const std::string& line, StoreRecord* record);

// The record line of `key` with CR LF; only the first kFeatureCount values are written.
std::string formatRecord(const std::string& key, const FeatureVector& values, std::uint64_t time);

// Reads the line that starts at *pos in `content` (without its line end) and moves
// *pos past it; false at the end of the content.
bool readLine(const std::string& content, std::size_t* pos, std::string* line);

// The whole store after putting `record` (a line from formatRecord) for `key` into
// `content`: in place of every line of the key, dropping other lines of 10 characters
// or fewer, or, when the key has no line, at the end with the rest left as it is.
std::string updatedStore(const std::string& content, const std::string& key,
                         const std::string& record);

// `content` without the lines of `key`; every other line stays as it is. *found says
// whether there was one.
std::string withoutRecord(const std::string& content, const std::string& key, bool* found);

}  // namespace corvantis
