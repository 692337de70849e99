// The growable array shared by the style library, its lists and the dash types: a size in use, a capacity and a grow-by. With n elements in use a
// growing array takes a step of 2500 elements from 5000 on, 1000 from 2000, 500 from 500, 100 from 200, 50
// from 100, 25 from 25 and 8 below, or its own grow-by when that is larger, and at least what was asked for.
// New slots are zero-filled. Only for element types that may be copied bytewise and are valid when zeroed.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <type_traits>

inline DWORD StyleGrowthStep(DWORD inUse) {
  if (inUse >= 5000) return 2500;
  if (inUse >= 2000) return 1000;
  if (inUse >= 500) return 500;
  if (inUse >= 200) return 100;
  if (inUse >= 100) return 50;
  if (inUse >= 25) return 25;
  return 8;
}

template <class T>
class StyleGrowableArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  explicit StyleGrowableArray(DWORD growBy = 8) : m_growBy(growBy) {}
  ~StyleGrowableArray() { std::free(m_data); }
  StyleGrowableArray(const StyleGrowableArray&) = delete;
  StyleGrowableArray& operator=(const StyleGrowableArray&) = delete;

  DWORD Size() const { return m_size; }
  DWORD Capacity() const { return m_capacity; }
  DWORD GrowBy() const { return m_growBy; }
  T* Data() const { return m_data; }
  T& operator[](DWORD i) const { return m_data[i]; }

  // Makes `size` elements in use, growing by the rule; a new grow-by is kept when it is not 0. Elements past
  // the old size are zero. False, changing nothing, when the memory is not there.
  bool SetSize(DWORD size, DWORD growBy = 0) {
    if (growBy) m_growBy = growBy;
    if (size > m_capacity) {
      DWORD step = StyleGrowthStep(m_size);
      if (step < m_growBy) step = m_growBy;
      DWORD capacity = m_capacity + step;
      if (capacity < m_capacity || capacity < size) capacity = size;
      if (capacity > 0x7FFFFFFFu / sizeof(T)) return false;
      T* data = static_cast<T*>(std::realloc(m_data, capacity * sizeof(T)));
      if (!data) return false;
      std::memset(static_cast<void*>(data + m_capacity), 0, (capacity - m_capacity) * sizeof(T));
      m_data = data;
      m_capacity = capacity;
    } else if (size > m_size) {
      std::memset(static_cast<void*>(m_data + m_size), 0, (size - m_size) * sizeof(T));
    }
    m_size = size;
    return true;
  }

  // Drops every element and the memory.
  void RemoveAll() {
    std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = 0;
  }

  // Moves the elements from `index` on one place up (the array grows by one) and zeroes the slot.
  bool InsertGap(DWORD index) {
    const DWORD old = m_size;
    if (index > old || !SetSize(old + 1)) return false;
    std::memmove(static_cast<void*>(m_data + index + 1), m_data + index, (old - index) * sizeof(T));
    std::memset(static_cast<void*>(m_data + index), 0, sizeof(T));
    return true;
  }

  // Moves the elements after `index` one place down; the array shrinks by one.
  void RemoveAt(DWORD index) {
    if (index >= m_size) return;
    std::memmove(static_cast<void*>(m_data + index), m_data + index + 1, (m_size - index - 1) * sizeof(T));
    --m_size;
    std::memset(static_cast<void*>(m_data + m_size), 0, sizeof(T));
  }

 private:
  T* m_data = nullptr;
  DWORD m_size = 0;
  DWORD m_capacity = 0;
  DWORD m_growBy;
};
