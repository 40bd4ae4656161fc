// The members that fit no larger group: a stopwatch, DDE sending, calls by
// name, the host of a URL and the bound of an array.
#include <cmath>
#include <new>

#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

constexpr LCID kInvariantEnglish = 1033;

// Element `index` of a one-dimensional array of variants.
bool ArrayElement(SAFEARRAY* array, LONG index, Variant& out) {
  return SUCCEEDED(SafeArrayGetElement(array, &index, out.Put()));
}

}  // namespace

bool clsPublicFunc::IsDebug() { return false; }

int32_t clsPublicFunc::GetWidthByAdoFieldType(int16_t aIntFieldIndex, int16_t aIntFieldType) {
  (void)aIntFieldIndex;
  (void)aIntFieldType;
  return 0;
}

int32_t clsPublicFunc::ChangeAddressOf(int32_t address) { return address; }

int32_t clsPublicFunc::timer_ss(int32_t tm_mode, int32_t ss_time) {
  const int32_t now = static_cast<int32_t>(std::nearbyint(SecondsOfDay(seams_.clock->LocalNow())));
  if (tm_mode == 0) {
    stopwatchStart_ = now;
    return 0;
  }
  const int32_t elapsed = stopwatchStart_ > now ? 86400 - stopwatchStart_ + now
                                                : now - stopwatchStart_;
  return elapsed > ss_time ? 0 : elapsed - ss_time;
}

bool clsPublicFunc::DDE_SEND(forms::IDdeLinkControl* objSEND_CTL, const std::wstring& strSEND_MSG,
                             const std::wstring& strLINK_TOPIC,
                             const std::wstring& strLINK_ITEM) {
  if (!objSEND_CTL) return false;
  if (objSEND_CTL->LinkMode() == 0) {
    if (!objSEND_CTL->SetLinkItem(strLINK_ITEM) || !objSEND_CTL->SetLinkTopic(strLINK_TOPIC) ||
        !objSEND_CTL->SetLinkMode(2)) {
      return false;
    }
  }
  if (objSEND_CTL->LinkMode() == 0) return false;
  return objSEND_CTL->SetValue(strSEND_MSG) && objSEND_CTL->LinkPoke();
}

Variant clsPublicFunc::CallFuncByName(const Variant& aValArg) {
  const VARIANT& raw = aValArg.Raw();
  if ((raw.vt & VT_ARRAY) == 0 || (raw.vt & ~(VT_ARRAY | VT_BYREF)) != VT_VARIANT) {
    return Variant();
  }
  SAFEARRAY* array = (raw.vt & VT_BYREF) ? (raw.pparray ? *raw.pparray : nullptr) : raw.parray;
  if (!array || SafeArrayGetDim(array) != 1) return Variant();
  Variant object, name, kind;
  if (!ArrayElement(array, 0, object) || !ArrayElement(array, 1, name) ||
      !ArrayElement(array, 2, kind)) {
    return Variant();
  }
  if (object.Type() != VT_DISPATCH || !object.Raw().pdispVal) return Variant();
  Variant nameText, kindNumber;
  if (FAILED(VariantChangeType(nameText.Put(), const_cast<VARIANT*>(&name.Raw()), 0, VT_BSTR)) ||
      FAILED(VariantChangeType(kindNumber.Put(), const_cast<VARIANT*>(&kind.Raw()), 0, VT_I4))) {
    return Variant();
  }
  IDispatch* dispatch = object.Raw().pdispVal;  // owned by `object`
  LPOLESTR member = nameText.Raw().bstrVal;
  DISPID id = 0;
  if (FAILED(dispatch->GetIDsOfNames(IID_NULL, &member, 1, kInvariantEnglish, &id))) {
    return Variant();
  }
  DISPPARAMS none{};
  Variant result;
  if (FAILED(dispatch->Invoke(id, IID_NULL, kInvariantEnglish,
                              static_cast<WORD>(kindNumber.Raw().lVal), &none, result.Put(),
                              nullptr, nullptr))) {
    return Variant();
  }
  return result;
}

std::wstring clsPublicFunc::GetIpAdrByURL(const std::wstring& aStrUrl) {
  try {
    if (Trim(aStrUrl).empty()) return aStrUrl;
    const size_t slashes = aStrUrl.find(L"//");
    std::wstring rest = slashes == std::wstring::npos ? aStrUrl : aStrUrl.substr(slashes + 2);
    const size_t slash = rest.find(L'/');
    if (slash != std::wstring::npos) rest.resize(slash);
    return rest;
  } catch (const std::bad_alloc&) {
    Log(L"clsPublicFunc:GetIpAdrByURLエラー:" + RuntimeErrorDescription(7));
    return aStrUrl;
  }
}

int32_t clsPublicFunc::GetArrayCount(const Variant& avarArray, int32_t alngDimension) {
  if (alngDimension < 1 || alngDimension > 32767) return -1;
  const VARIANT& raw = avarArray.Raw();
  if ((raw.vt & VT_ARRAY) == 0) return -1;
  SAFEARRAY* array = (raw.vt & VT_BYREF) ? (raw.pparray ? *raw.pparray : nullptr) : raw.parray;
  if (!array || static_cast<UINT>(alngDimension) > SafeArrayGetDim(array)) return -1;
  LONG upper = -1;
  if (FAILED(SafeArrayGetUBound(array, static_cast<UINT>(alngDimension), &upper))) return -1;
  return upper;
}
