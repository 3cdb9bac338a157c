# Gives a text file Windows line ends: cmake -DFILE=... -P windows_text.cmake
file(READ "${FILE}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${FILE}" "${text}")
