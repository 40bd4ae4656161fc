#include "PublicFuncFixture.h"

namespace {

using norvale::Variant;
using Misc = PublicFuncTest;

TEST_F(Misc, StopwatchAcrossMidnight) {
  clock_->SetSecondsOfDay(5);
  EXPECT_EQ(-5, f_.timer_ss(1, 10));  // never started: midnight
  EXPECT_EQ(0, f_.timer_ss(1, 0));
  clock_->SetSecondsOfDay(100);
  EXPECT_EQ(0, f_.timer_ss(0));
  clock_->SetSecondsOfDay(105);
  EXPECT_EQ(-5, f_.timer_ss(1, 10));
  clock_->SetSecondsOfDay(110);
  EXPECT_EQ(0, f_.timer_ss(1, 10));
  clock_->SetSecondsOfDay(111);
  EXPECT_EQ(0, f_.timer_ss(1, 10));
  clock_->SetSecondsOfDay(86395);
  f_.timer_ss(0);
  clock_->SetSecondsOfDay(3);
  EXPECT_EQ(-2, f_.timer_ss(1, 10));
}

TEST_F(Misc, HostOfUrl) {
  EXPECT_EQ(L"host.example:8021", f_.GetIpAdrByURL(L"ftp://host.example:8021/pub/x"));
  EXPECT_EQ(L"server", f_.GetIpAdrByURL(L"server/path"));
  EXPECT_EQ(L"word", f_.GetIpAdrByURL(L"word"));
  EXPECT_EQ(L"  ", f_.GetIpAdrByURL(L"  "));
}

Variant ArrayOf(LONG low, LONG count) {
  Variant value;
  SAFEARRAYBOUND bound{static_cast<ULONG>(count), low};
  VARIANT* raw = value.Put();
  raw->parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
  raw->vt = VT_ARRAY | VT_VARIANT;
  return value;
}

TEST_F(Misc, ArrayBoundsAndCallsByName) {
  EXPECT_EQ(4, f_.GetArrayCount(ArrayOf(0, 5)));
  EXPECT_EQ(-1, f_.GetArrayCount(ArrayOf(0, 0)));
  EXPECT_EQ(-1, f_.GetArrayCount(ArrayOf(0, 5), 2));
  EXPECT_EQ(-1, f_.GetArrayCount(ArrayOf(0, 5), 0));
  EXPECT_EQ(-1, f_.GetArrayCount(Variant(int32_t{3})));
  EXPECT_TRUE(f_.CallFuncByName(Variant(L"x")).IsEmpty());
  EXPECT_TRUE(f_.CallFuncByName(ArrayOf(0, 3)).IsEmpty());  // no object in element 0
}

class FakeLink final : public norvale::forms::IDdeLinkControl {
 public:
  bool serverAnswers = true;
  int32_t mode = 0;
  std::wstring topic, item, value, poked;
  int32_t LinkMode() const override { return mode; }
  bool SetLinkMode(int32_t m) override {
    if (!serverAnswers) return false;
    mode = m;
    return true;
  }
  bool SetLinkTopic(const std::wstring& t) override { topic = t; return true; }
  bool SetLinkItem(const std::wstring& i) override { item = i; return true; }
  bool SetValue(const std::wstring& v) override { value = v; return true; }
  bool LinkPoke() override { poked = value; return true; }
};

TEST_F(Misc, DdeSendLinksOnceAndPokes) {
  FakeLink link;
  EXPECT_TRUE(f_.DDE_SEND(&link, L"msg", L"App|Topic", L"Item"));
  EXPECT_EQ(2, link.mode);
  EXPECT_EQ(L"App|Topic", link.topic);
  EXPECT_EQ(L"msg", link.poked);
  EXPECT_TRUE(f_.DDE_SEND(&link, L"two", L"Other|T", L"I2"));
  EXPECT_EQ(L"App|Topic", link.topic);  // an existing link keeps its topic
  FakeLink silent;
  silent.serverAnswers = false;
  EXPECT_FALSE(f_.DDE_SEND(&silent, L"msg", L"App|Topic", L"Item"));
  EXPECT_FALSE(f_.DDE_SEND(nullptr, L"msg", L"App|Topic", L"Item"));
  EXPECT_FALSE(f_.IsDebug());
  EXPECT_EQ(0, f_.GetWidthByAdoFieldType(1, 2));
  EXPECT_EQ(1234, f_.ChangeAddressOf(1234));
}

}  // namespace

namespace {

// An automation object with one member "Answer" that records how it was
// called.
class AnswerObject final : public IDispatch {
 public:
  LCID lastLocale = 0;
  WORD lastKind = 0;
  ULONG references = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID locale,
                                          DISPID* ids) override {
    lastLocale = locale;
    if (std::wstring(names[0]) != L"Answer") return DISP_E_UNKNOWNNAME;
    ids[0] = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    lastKind = kind;
    if (id != 7 || params->cArgs != 0) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = 42;
    return S_OK;
  }
};

Variant CallArray(IDispatch* object, const wchar_t* name, int32_t kind) {
  Variant array = ArrayOf(0, 3);
  Variant elements[3];
  elements[0].Put()->vt = VT_DISPATCH;
  const_cast<VARIANT&>(elements[0].Raw()).pdispVal = object;
  object->AddRef();
  elements[1] = Variant(name);
  elements[2] = Variant(kind);
  for (LONG i = 0; i < 3; ++i) {
    SafeArrayPutElement(array.Raw().parray, &i, const_cast<VARIANT*>(&elements[i].Raw()));
  }
  return array;
}

TEST_F(Misc, CallsAMemberByName) {
  AnswerObject object;
  {
    const Variant result = f_.CallFuncByName(CallArray(&object, L"Answer", 2));
    ASSERT_EQ(VT_I4, result.Type());
    EXPECT_EQ(42, result.Raw().lVal);
    EXPECT_EQ(1033u, object.lastLocale);
    EXPECT_EQ(DISPATCH_PROPERTYGET, object.lastKind);
    EXPECT_TRUE(f_.CallFuncByName(CallArray(&object, L"Missing", 1)).IsEmpty());
  }
  EXPECT_EQ(1u, object.references);  // every reference handed back
}

}  // namespace
