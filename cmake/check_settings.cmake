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

# Why `url` can't be used as the installer uses it, or "" when it can. The installer splits an
# address itself: a lower-case "http://" or "https://", a host up to the first "/" and an optional
# port; the feed's address then has "latest.yml" and the setup program's name appended.
function(qv_url_problem out url is_feed)
  set(problem "")
  if(url STREQUAL "")
    set(problem "it is empty")
  elseif(url MATCHES "[ \t\r\n]")
    set(problem "it holds white space")
  elseif(NOT url MATCHES "^https?://")
    set(problem "it does not start with https:// (or http://, in lower case)")
  else()
    string(REGEX REPLACE "^https?://" "" rest "${url}")
    set(authority "${rest}")
    set(path "")
    if(rest MATCHES "^([^/?#]*)([/?#].*)$")
      set(authority "${CMAKE_MATCH_1}")
      set(path "${CMAKE_MATCH_2}")
    endif()
    string(REGEX REPLACE ":[0-9]*$" "" host "${authority}")
    if(host STREQUAL "")
      set(problem "it names no host")
    elseif(host MATCHES "@")
      set(problem "a user name before the host is not supported")
    elseif(NOT host MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
      set(problem "the host \"${host}\" is not a plain host name (ASCII letters, digits, \".\" "
                  "and \"-\"; an international name in its xn-- form)")
    elseif(authority MATCHES ":([0-9]*)$")
      set(port "${CMAKE_MATCH_1}")
      if(port STREQUAL "" OR port MATCHES "^0+$" OR port MATCHES "[0-9][0-9][0-9][0-9][0-9][0-9]"
         OR port GREATER 65535)
        set(problem "the port \"${port}\" is not a number from 1 to 65535")
      endif()
    endif()
    if(problem STREQUAL "" AND is_feed AND path MATCHES "[?#]")
      set(problem "it holds \"?\" or \"#\", and the installer appends file names to it")
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
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
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qv_check_settings()
endif()
