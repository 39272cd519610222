#pragma once

#include <QString>

namespace zd {

// Fixed texts of the maker; they appear in messages and the sample list.
inline const QString kProductName = QStringLiteral("Zentavia Desk");
inline const QString kSettingsApplication = QStringLiteral("Quillmoor");
inline const QString kSettingsSection = QStringLiteral("Zentavia Desk");
inline const QString kSupportEmail = QStringLiteral("support@quillmoor.com");
inline const QString kContactPage = QStringLiteral("https://www.quillmoor.com/contact");
inline const QString kTagPrefix = QStringLiteral("Zentavia2021/08/31");

/// The product name with trailing words cut until it is at most 40 characters;
/// at least one word is always cut ("Zentavia Desk" gives "Zentavia").
QString applicationTitleFor(const QString &productName);

} // namespace zd
