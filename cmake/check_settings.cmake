# The release settings, checked when the build is configured: an address or a publisher name
# that can never work fails here, with what to write instead, rather than on users' machines.
#
# Also runs on its own, for the tests and for checking settings before a build:
#   cmake -DQUORVANE_FEED_BASE_URL=... -DQUORVANE_RELEASE_PAGE_URL=... \
#         -DQUORVANE_SETUP_PUBLISHER=... -DQUORVANE_FEED_PUBLIC_KEYS=... \
#         -P cmake/check_settings.cmake

# The checkout this file belongs to, in script mode as in a configure: relative key paths are
# read against it either way.
get_filename_component(QV_SETTINGS_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
find_program(QV_OPENSSL openssl)
# The DER of every uncompressed P-256 public key starts with these bytes; X and Y follow.
set(QV_P256_PUBLIC_KEY_PREFIX "3059301306072a8648ce3d020106082a8648ce3d03010703420004")

# Why `url` can't be used as the installer uses it, or "" when it can; the parts it splits into in
# `out`_HOST, `out`_PORT (the scheme's default when none is written) and `out`_PATH. The feed's
# address is split exactly as the installer splits it: a lower-case "http://" or "https://", the
# host up to the first "/" (or the end), a port after the first ":" in that (an optional "+" and
# digits, 0 meaning the scheme's default), the path from the "/" on ("/" when there is none);
# "latest.yml" and the setup program's name are then appended. A release page is opened by the
# browser, which ends the host at "?" and "#" too. Refused on purpose, beyond what the installer
# refuses: white space, a user name ("@"), a host that is not a plain host name, and "?" or "#"
# anywhere in the feed's address.
function(qv_url_problem out url is_feed)
  set(problem "")
  set(host "")
  set(port "")
  set(path "/")
  if(url STREQUAL "")
    set(problem "it is empty")
  elseif(url MATCHES "[ \t\r\n]")
    set(problem "it holds white space")
  elseif(NOT url MATCHES "^https?://")
    set(problem "it does not start with https:// (or http://, in lower case)")
  elseif(is_feed AND url MATCHES "[?#]")
    set(problem "it holds \"?\" or \"#\", and the installer appends file names to it")
  else()
    set(port 80)
    if(url MATCHES "^https")
      set(port 443)
    endif()
    string(REGEX REPLACE "^https?://" "" rest "${url}")
    set(authority "${rest}")
    if(rest MATCHES "^([^/?#]*)([/?#].*)$")
      set(authority "${CMAKE_MATCH_1}")
      set(path "${CMAKE_MATCH_2}")
    endif()
    set(host "${authority}")
    set(written_port "")
    string(FIND "${authority}" ":" colon)
    if(NOT colon EQUAL -1)
      string(SUBSTRING "${authority}" 0 ${colon} host)
      math(EXPR after "${colon} + 1")
      string(SUBSTRING "${authority}" ${after} -1 written_port)
    endif()
    if(authority MATCHES "@")
      set(problem "a user name before the host is not supported")
    elseif(host STREQUAL "")
      set(problem "it names no host")
    elseif(NOT host MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
      set(problem "the host \"${host}\" is not a plain host name (ASCII letters, digits, \".\" "
                  "and \"-\"; an international name in its xn-- form)")
    elseif(NOT colon EQUAL -1)
      # Read as the installer reads it; leading zeros are no digits of the value.
      set(digits "")
      set(length 0)
      if(written_port MATCHES "^[+]?([0-9]+)$")
        string(REGEX REPLACE "^0+" "" digits "${CMAKE_MATCH_1}")
        string(LENGTH "${digits}" length)
      endif()
      if(NOT written_port MATCHES "^[+]?[0-9]+$" OR length GREATER 5 OR digits GREATER 65535)
        set(problem "the port \"${written_port}\" is not a number from 0 to 65535")
      elseif(digits STREQUAL "")
        set(port 0)  # the scheme's default, for WinHTTP as for a browser
      else()
        set(port "${digits}")
      endif()
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
  set(${out}_HOST "${host}" PARENT_SCOPE)
  set(${out}_PORT "${port}" PARENT_SCOPE)
  set(${out}_PATH "${path}" PARENT_SCOPE)
endfunction()

# qv_feed_public_key(OUT PEM): OUT is the hex of X and Y of the ECDSA P-256 public key in the PEM
# file PEM (relative to the checkout); fails the configuration for any other file.
function(qv_feed_public_key out pem)
  set(make_public "openssl ec -in feed-key.pem -pubout -out feed-key.pub.pem")
  # cmake reads a leading "~" as the home folder, the release tool (--build) and a quoted shell
  # argument do not: the same setting would name two files.
  if(pem MATCHES "^~")
    message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: ${pem} starts with \"~\", which only a "
                        "shell expands, and not inside quotes: write $HOME/... outside quotes, an "
                        "absolute path, or a path relative to ${QV_SETTINGS_SOURCE_DIR}")
  endif()
  get_filename_component(pem "${pem}" ABSOLUTE BASE_DIR "${QV_SETTINGS_SOURCE_DIR}")
  if(NOT QV_OPENSSL)
    message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: openssl is needed to read ${pem}")
  endif()
  if(NOT EXISTS "${pem}" OR IS_DIRECTORY "${pem}")
    message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: there is no file ${pem}")
  endif()
  file(READ "${pem}" text LIMIT 65536)
  if(text MATCHES "PRIVATE KEY-----")
    message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: ${pem} holds a private key, which must stay "
                        "on the signing machine and never goes into the installer. Give its "
                        "public half, made with: ${make_public}")
  endif()
  # A compressed point is written out uncompressed; anything but a public key is refused by
  # -pubin. The DER goes through od, since cmake's variables can't hold a NUL byte.
  execute_process(COMMAND ${QV_OPENSSL} pkey -pubin -in "${pem}" -outform DER
                          -ec_conv_form uncompressed
                  COMMAND od -An -v -tx1
                  OUTPUT_VARIABLE hex RESULTS_VARIABLE results ERROR_QUIET)
  string(REGEX REPLACE "[ \t\r\n]" "" hex "${hex}")
  string(LENGTH "${hex}" length)
  if(NOT results STREQUAL "0;0" OR NOT length EQUAL 182
     OR NOT hex MATCHES "^${QV_P256_PUBLIC_KEY_PREFIX}([0-9a-f]+)$")
    message(FATAL_ERROR "QUORVANE_FEED_PUBLIC_KEYS: ${pem} is not an ECDSA P-256 public key "
                        "in PEM. Make one from the private key with: ${make_public}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# Fails the configuration for a setting that can never work; warns about a plain http feed.
function(qv_check_settings)
  foreach(pem IN LISTS QUORVANE_FEED_PUBLIC_KEYS)
    qv_feed_public_key(key "${pem}")
  endforeach()
  qv_url_problem(problem "${QUORVANE_FEED_BASE_URL}" TRUE)
  if(QV_SHOW_FEED_PARTS AND NOT problem)
    # For the test that holds these parts against the installer's own split.
    message(NOTICE "host=${problem_HOST} port=${problem_PORT} path=${problem_PATH}")
  endif()
  if(problem)
    message(FATAL_ERROR
      "QUORVANE_FEED_BASE_URL is \"${QUORVANE_FEED_BASE_URL}\", which is not an absolute http(s) "
      "URL with a host (${problem}). Write the https address of the folder that holds "
      "latest.yml and the setup programs, for example "
      "-DQUORVANE_FEED_BASE_URL=https://downloads.example.com/quorvane/")
  endif()
  qv_url_problem(problem "${QUORVANE_RELEASE_PAGE_URL}" FALSE)
  if(problem)
    message(FATAL_ERROR
      "QUORVANE_RELEASE_PAGE_URL is \"${QUORVANE_RELEASE_PAGE_URL}\", which is not an absolute "
      "http(s) URL with a host (${problem}). Write the https address of the page with the full "
      "installer, for example -DQUORVANE_RELEASE_PAGE_URL=https://example.com/quorvane")
  endif()
  if(QUORVANE_FEED_BASE_URL MATCHES "^http://")
    message(WARNING
      "QUORVANE_FEED_BASE_URL is plain http (${QUORVANE_FEED_BASE_URL}): anyone on the network "
      "between a user and the server (a public Wi-Fi, a proxy) can change the release feed and "
      "the setup program that the installer downloads; unless QUORVANE_FEED_PUBLIC_KEYS and "
      "QUORVANE_SETUP_PUBLISHER are both set, that lets them run their own program on the "
      "user's machine. Use an https address for anything but a local test.")
  endif()

  # Windows gives the signer's simple display name (its common name), never a distinguished name,
  # so "CN=Acme Ltd" or "O=Acme Ltd, C=GB" could never match.
  set(name "${QUORVANE_SETUP_PUBLISHER}")
  set(attribute "(CN|OU|O|C|L|S|ST|STREET|E|EMAIL|EMAILADDRESS|DC|UID|SERIALNUMBER|T|TITLE|G|GN|SN)")
  string(TOUPPER "${name}" upper)
  if(upper MATCHES "(^|[,;+/])[ ]*${attribute}[ ]*=")
    set(example "Acme Widgets Ltd")
    if(upper MATCHES "(^|[,;+/])[ ]*CN[ ]*=[ ]*")
      # The common name's value, as written, up to the next separator.
      string(FIND "${upper}" "${CMAKE_MATCH_0}" at)
      string(LENGTH "${CMAKE_MATCH_0}" skip)
      math(EXPR at "${at} + ${skip}")
      string(SUBSTRING "${name}" ${at} -1 example)
      string(REGEX REPLACE "[,;+/].*$" "" example "${example}")
      string(STRIP "${example}" example)
    endif()
    message(FATAL_ERROR
      "QUORVANE_SETUP_PUBLISHER is \"${name}\", which looks like a distinguished name. Windows "
      "compares the signer's name as it shows it: the certificate's common name alone, without "
      "\"CN=\" or other fields. Write, for example, "
      "\"-DQUORVANE_SETUP_PUBLISHER=${example}\"")
  endif()

  # The expiry date is a line of the signed feed: an installer without feed keys reads neither
  # the signature nor the date, so requiring one without keys would protect nothing.
  set(require "${QUORVANE_FEED_REQUIRE_EXPIRY}")
  string(TOUPPER "${require}" upper)
  if(NOT upper MATCHES "^(|ON|OFF|YES|NO|TRUE|FALSE|Y|N|1|0)$")
    message(FATAL_ERROR
      "QUORVANE_FEED_REQUIRE_EXPIRY is \"${require}\": write ON (refuse a signed feed without an "
      "expiry date) or OFF")
  endif()
  if(require AND "${QUORVANE_FEED_PUBLIC_KEYS}" STREQUAL "")
    message(FATAL_ERROR
      "QUORVANE_FEED_REQUIRE_EXPIRY is ON but QUORVANE_FEED_PUBLIC_KEYS is empty: the expiry "
      "date is part of the signed feed, and an installer without feed keys reads neither. Add "
      "the public feed key (-DQUORVANE_FEED_PUBLIC_KEYS=feed-key.pub.pem), or leave "
      "QUORVANE_FEED_REQUIRE_EXPIRY off")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qv_check_settings()
endif()
