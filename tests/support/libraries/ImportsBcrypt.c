/*
 * A program that imports BCrypt, as the updater once did: Windows looks for
 * an imported library that is not one of its known ones in the program's
 * directory first. The tests start it beside a planted bcrypt.dll to show
 * that their check sees a planted library that is loaded.
 */
#include <windows.h>
#include <bcrypt.h>

int main(void)
{
    BCRYPT_ALG_HANDLE algorithm = NULL;
    return BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, NULL, 0) < 0 ? 1 : 0;
}
