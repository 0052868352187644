// bind_util_fwd.h — the binder's declaration chain, named without the
// binder's header: for code that only passes a BindUtil along (the effect
// table and the effects' script-class units).
#pragma once

namespace SimpleBinder {
namespace Detail {
class BindUtil;
}
using Detail::BindUtil;
}  // namespace SimpleBinder
