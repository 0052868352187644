// accounting.h — a linked plug-in's reference total, checked from outside.
//
// V2Unlink refuses exactly while the plug-in's reference total is above the
// baseline recorded at link. So, with one extra reference held on one of the
// plug-in's dispatch objects, V2Unlink must refuse (the total without it is
// at least the baseline), and once that reference is dropped it must succeed
// (the total is at most the baseline): the total was exactly the baseline.
// A leaked reference fails the second step, a reference released once too
// often the first.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "hostengine.h"

namespace validator {

// Ends a scenario: checks the total through `unlink` (V2Unlink of the plug-in)
// with and without an extra reference on `pluginObject` (borrowed; one of the
// plug-in's own dispatch objects), leaving the plug-in unlinked when all is
// well. Returns whether the final V2Unlink succeeded.
inline bool UnlinkAtExactBaseline(const std::function<tjs_hresult()> &unlink, iTJSDispatch2 *pluginObject) {
  EXPECT_NE(pluginObject, nullptr) << "no plug-in object to hold";
  if (pluginObject) {
    const tTJSVariant held(pluginObject);  // one more reference, for the scope
    EXPECT_EQ(unlink(), TJS_HR_E_FAIL) << "V2Unlink went through with a plug-in object still referenced: "
                                          "the reference total is below its baseline";
  }
  const tjs_hresult hr = unlink();
  EXPECT_EQ(hr, TJS_HR_S_OK) << "V2Unlink refused: the reference total is above its baseline";
  return hr == TJS_HR_S_OK;
}

}  // namespace validator
