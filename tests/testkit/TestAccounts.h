#pragma once

class UserData;

// Demo-like accounts for the tests, registered through the host's public calls.
namespace VelmTest {

// Shareholder account strings the helpers give every account.
constexpr const char* ShanghaiShareholder = "A123456789";
constexpr const char* ShenzhenShareholder = "0123456789";
constexpr const char* BeijingShareholder = "0212345678";

// Registers an account of the given kind with shareholder strings for the three exchanges and
// 1,000,000 of funds (and, for a credit account, the same credit line).
UserData* addAccount(int accountId, int apiType);
UserData* addStockAccount(int accountId);
UserData* addCreditAccount(int accountId);
void removeAllAccounts();

} // namespace VelmTest
