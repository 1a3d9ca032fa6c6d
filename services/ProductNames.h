// The maker's and the product's names, as they appear in every message and event.
#pragma once

constexpr const wchar_t* kCompanyName = L"Kelvara";
constexpr const wchar_t* kProductName = L"Lantern Rise";
