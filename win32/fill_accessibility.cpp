#include "win32/fill_accessibility.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <utility>

#include "platform/windows/system_library.h"

namespace fwu::win32 {
namespace {

constexpr UINT_PTR SubclassId = 1;

// oleacc.dll is not one of Windows' known DLLs: imported, it would be looked for in the program's
// folder first. Both DLLs are taken from the system folder when the fill is first asked for,
// and where they cannot be, the fill is what the system makes of any window.
struct AccessibilityFunctions {
    decltype(&CreateStdAccessibleObject) createStandardObject;
    decltype(&LresultFromObject) resultFromObject;
    decltype(&SysAllocString) allocateString;

    bool available() const {
        return createStandardObject != nullptr && resultFromObject != nullptr &&
               allocateString != nullptr;
    }
};

const AccessibilityFunctions& accessibility() {
    static const AccessibilityFunctions functions = [] {
        platform::windows::SystemLibrary oleacc(L"oleacc.dll"), oleaut32(L"oleaut32.dll");
        return AccessibilityFunctions{
            oleacc.optional<decltype(&CreateStdAccessibleObject)>("CreateStdAccessibleObject"),
            oleacc.optional<decltype(&LresultFromObject)>("LresultFromObject"),
            oleaut32.optional<decltype(&SysAllocString)>("SysAllocString")};
    }();
    return functions;
}

bool isSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The fill as an IAccessible: the name, role and value its own; everything else asked of the
// system's object for the window, where there is one.
class FillObject final : public IAccessible {
  public:
    FillObject(HWND fill, std::shared_ptr<FillReading> reading) : reading_(std::move(reading)) {
        void* standard = nullptr;
        if (SUCCEEDED(accessibility().createStandardObject(fill, OBJID_CLIENT,
                                                           __uuidof(IAccessible), &standard)))
            standard_ = static_cast<IAccessible*>(standard);
    }
    ~FillObject() {
        if (standard_ != nullptr)
            standard_->Release();
    }
    FillObject(const FillObject&) = delete;
    FillObject& operator=(const FillObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) &&
            iid != __uuidof(IAccessible)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IDispatch: screen readers call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: what makes the fill a progress bar.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return text(child, reading_->name, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return text(child, std::to_wstring(reading_->percent) + L"%", value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!isSelf(child))
            return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        *child = nullptr;
        return E_INVALIDARG;
    }

    // IAccessible: the rest, as the system's object says.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_ ? standard_->get_accParent(parent) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_ ? standard_->get_accDescription(child, text) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_ ? standard_->get_accState(child, state) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_ ? standard_->get_accHelp(child, help) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_ ? standard_->get_accHelpTopic(file, child, topic) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_ ? standard_->get_accKeyboardShortcut(child, shortcut) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return standard_ ? standard_->get_accFocus(focus) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return standard_ ? standard_->get_accSelection(selection) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_ ? standard_->get_accDefaultAction(child, action) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_ ? standard_->accSelect(flags, child) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        return standard_ ? standard_->accLocation(left, top, width, height, child) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_ ? standard_->accNavigate(direction, start, end) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
        return standard_ ? standard_->accHitTest(left, top, child) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    static HRESULT text(const VARIANT& child, const std::wstring& value, BSTR* out) {
        if (!isSelf(child))
            return E_INVALIDARG;
        *out = accessibility().allocateString(value.c_str());
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<ULONG> references_{1};
    std::shared_ptr<FillReading> reading_;
    IAccessible* standard_ = nullptr;
};

}  // namespace

FillAccessibility::FillAccessibility(HWND fill, std::wstring_view name)
    : fill_(fill), reading_(std::make_shared<FillReading>(FillReading{std::wstring(name), 0})) {
    SetWindowSubclass(fill_, answer, SubclassId, reinterpret_cast<DWORD_PTR>(this));
}

FillAccessibility::~FillAccessibility() {
    RemoveWindowSubclass(fill_, answer, SubclassId);
}

void FillAccessibility::setPercent(int percent) {
    if (percent == reading_->percent)
        return;
    reading_->percent = percent;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, fill_, OBJID_CLIENT, CHILDID_SELF);
}

LRESULT CALLBACK FillAccessibility::answer(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR self) {
    if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT &&
        accessibility().available()) {
        auto* object = new FillObject(window, reinterpret_cast<FillAccessibility*>(self)->reading_);
        const LRESULT result =
            accessibility().resultFromObject(__uuidof(IAccessible), wParam, object);
        object->Release();
        return result;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, answer, SubclassId);
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace fwu::win32
