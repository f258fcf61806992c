# Compiled-in configuration. A distributor sets these at configure time, e.g.
#   cmake -S . -B build -DKORVELLA_OFFICIAL_BOT_TOKEN=... -DKORVELLA_PAIRING_BASE_URL=https://pair.example.org/api
set(KORVELLA_TELEGRAM_API_BASE "https://api.telegram.org" CACHE STRING "Telegram Bot API origin (no path)")
set(KORVELLA_PAIRING_BASE_URL "https://pairing.korvella.invalid/api" CACHE STRING "Pairing service base URL (path /api, no trailing slash)")
set(KORVELLA_DEEP_LINK_BASE "https://t.me" CACHE STRING "Telegram deep-link origin")
set(KORVELLA_OFFICIAL_BOT_TOKEN "0000000000:PLACEHOLDER_not_a_real_bot_token_XX" CACHE STRING "Official bot token (placeholder until a distributor sets it)")
set(KORVELLA_OFFICIAL_BOT_USERNAME "dremlo_app_bot" CACHE STRING "Official bot's Telegram user name")

# HTTPS everywhere; plain http only for loopback hosts, so tests can point a build at local fakes.
function(korvella_check_url var)
  set(url "${${var}}")
  if(url MATCHES "^https://[^/]+")
    return()
  endif()
  if(url MATCHES "^http://(127\\.0\\.0\\.1|localhost|\\[::1\\])(:[0-9]+)?(/|$)")
    return()
  endif()
  message(FATAL_ERROR "${var} must be an https:// URL (http:// only for loopback hosts): '${url}'")
endfunction()
foreach(v KORVELLA_TELEGRAM_API_BASE KORVELLA_PAIRING_BASE_URL KORVELLA_DEEP_LINK_BASE)
  korvella_check_url(${v})
endforeach()
if(NOT KORVELLA_OFFICIAL_BOT_TOKEN MATCHES "^[0-9]+:[A-Za-z0-9_-]+$")
  message(FATAL_ERROR "KORVELLA_OFFICIAL_BOT_TOKEN is not a bot token (digits, ':', letters, digits, '_' or '-')")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildConfig.h.in ${CMAKE_CURRENT_BINARY_DIR}/BuildConfig.h @ONLY)
