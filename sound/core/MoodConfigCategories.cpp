#include <mutex>

#include "MoodConfig.h"

// The cloud categories: written by the cloud worker, read by the UI thread, always under the lock.
namespace sound {

void CMoodConfig::ClearCategories() {
    std::lock_guard lock(m_categoryLock);
    m_categories.clear();
    m_categoryNames.clear();
}

int CMoodConfig::AddCategory(std::u16string_view name, std::vector<MoodItem> items) {
    for (MoodItem& item : items) {
        TerminateClipText(item);
    }
    std::lock_guard lock(m_categoryLock);
    m_categories.push_back(std::move(items));
    m_categoryNames.emplace_back(name);
    if (m_categories.size() != m_categoryNames.size()) {
        return -1;
    }
    return static_cast<int>(m_categories.size()) - 1;
}

bool CMoodConfig::AppendCategoryItems(size_t category, const std::vector<MoodItem>& items) {
    std::lock_guard lock(m_categoryLock);
    if (category >= m_categories.size()) {
        return false;
    }
    for (MoodItem item : items) {
        TerminateClipText(item);
        m_categories[category].push_back(item);
    }
    return true;
}

bool CMoodConfig::SetCloudItemState(size_t category, size_t index, int32_t state) {
    std::lock_guard lock(m_categoryLock);
    if (category >= m_categories.size() || index >= m_categories[category].size()) {
        return false;
    }
    m_categories[category][index].downloadState = state;
    return true;
}

size_t CMoodConfig::CategoryCount() const {
    std::lock_guard lock(m_categoryLock);
    return m_categories.size();
}

std::u16string CMoodConfig::CategoryName(size_t category) const {
    std::lock_guard lock(m_categoryLock);
    return category < m_categoryNames.size() ? m_categoryNames[category] : std::u16string();
}

std::vector<MoodItem> CMoodConfig::CategoryItems(size_t category) const {
    std::lock_guard lock(m_categoryLock);
    return category < m_categories.size() ? m_categories[category] : std::vector<MoodItem>();
}

std::optional<MoodItem> CMoodConfig::CloudItem(size_t category, size_t index) const {
    std::lock_guard lock(m_categoryLock);
    if (category >= m_categories.size() || index >= m_categories[category].size()) {
        return std::nullopt;
    }
    return m_categories[category][index];
}

}  // namespace sound
