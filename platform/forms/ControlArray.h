#pragma once
// A control array: elements of one kind under one name, addressed by a
// 16-bit index. Element 0 is the template placed at design time; loading
// element i at run time copies it (same container, size, font, colours,
// text), hidden and, for option buttons, unselected.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "forms/Form.h"

namespace norvale::forms {

template <typename T>
class ControlArray {
 public:
  explicit ControlArray(std::wstring name) : name_(std::move(name)) {}

  const std::wstring& Name() const { return name_; }

  // Design: an element placed on the form (the existing one when the index
  // is taken).
  T& Add(Form& form, int16_t index, Widget& container) {
    if (T* existing = (*this)(index)) return *existing;
    T& element = form.AddElement<T>(name_, index, container);
    elements_[index] = &element;
    return element;
  }
  T& Add(Form& form, int16_t index) { return Add(form, index, form); }

  // Run time: a copy of element 0 as element `index`; null when the index
  // is negative or taken, or there is no template.
  T* Load(int16_t index) {
    T* templateElement = (*this)(0);
    if (index < 0 || !templateElement || (*this)(index)) return nullptr;
    Control* loaded = templateElement->ParentForm().LoadElement(*templateElement, index);
    if (!loaded) return nullptr;
    T* element = static_cast<T*>(loaded);
    elements_[index] = element;
    return element;
  }

  // The element of that index, null when it is not loaded.
  T* operator()(int16_t index) const {
    const auto it = elements_.find(index);
    return it == elements_.end() ? nullptr : it->second;
  }
  bool Exists(int16_t index) const { return elements_.count(index) != 0; }
  int16_t Count() const { return static_cast<int16_t>(elements_.size()); }
  // -1 for an empty array.
  int16_t LBound() const { return elements_.empty() ? -1 : elements_.begin()->first; }
  int16_t UBound() const { return elements_.empty() ? -1 : elements_.rbegin()->first; }
  // Every element in index order.
  std::vector<T*> Elements() const {
    std::vector<T*> all;
    for (const auto& [index, element] : elements_) all.push_back(element);
    return all;
  }

 private:
  std::wstring name_;
  std::map<int16_t, T*> elements_;
};

}  // namespace norvale::forms
