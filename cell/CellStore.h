// The store and forget subcommands of corvantis-cell: what a cell's store of reference
// signatures holds, and taking one reference out of it so that the next check computes
// it again. No OpenCV; both work on the store file alone.
#pragma once

#include <string>

#include "cell/Cell.h"
#include "workspace/Platform.h"

namespace corvantis {

// store BASE: one line per record a check reads and trusts, "key<TAB>time<TAB>five
// values", values as the store writes them; then, by line number, each line that no
// check reads or trusts, with the reason. 1 when BASE is no directory or the store
// cannot be read.
int runStoreListing(const CellArgs& args, std::ostream& out, std::ostream& err);
// The same, reading the store through `platform`.
int runStoreListing(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform);

// forget BASE REF: removes every record of the reference REF (its path below BASE,
// or any path below the cell's robots directory; storeKeyOf) under the store's lock. 1
// when there is none (naming the keys of its file name there are) or the store cannot be
// changed.
int runForget(const CellArgs& args, std::ostream& out, std::ostream& err);
// The same, reading and changing the store through `platform`.
int runForget(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform);

}  // namespace corvantis
