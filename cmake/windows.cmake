# The Windows launcher: the core plus the thin shell over the Windows API.
target_sources(tesmo_core PRIVATE src/platform/codepage_windows.cpp)
target_compile_definitions(tesmo_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601)
# Size matters for a launcher that ships with every application. It catches no exception
# (the library's throw helpers end the process, see terminate_handler.cpp), so it is
# built without them, which keeps the unwinder and its threads library out.
target_compile_options(tesmo_core PUBLIC -Os -ffunction-sections -fdata-sections)
# Nothing in the launcher asks for a type at run time either.
set(TESMO_NO_EXCEPTIONS -fno-exceptions -fno-rtti)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit Windows unwinds its structured exceptions through the frame chain, not through
    # tables; the DWARF tables serve only C++ exceptions, which the launcher never throws.
    # About 25 KiB of the shipped launcher. (Link-time optimisation would be the next step,
    # but MinGW GCC 12 fails with an internal error in binds_to_current_def_p on it.)
    list(APPEND TESMO_NO_EXCEPTIONS -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
target_compile_options(tesmo_core PRIVATE ${TESMO_NO_EXCEPTIONS})

add_library(tesmo_shell STATIC
    src/config/configuration_windows.cpp
    src/files/extraction_windows.cpp
    src/files/removal_windows.cpp
    src/files/temp_directory_windows.cpp
    src/instance/single_instance_windows.cpp
    src/instance/window_activation_windows.cpp
    src/launcher/console_windows.cpp
    src/launcher/driver_windows.cpp
    src/core/error_reporting_windows.cpp
    src/launcher/initialise_windows.cpp
    src/launcher/reboot_windows.cpp
    src/platform/common_controls_windows.cpp
    src/platform/paths_windows.cpp
    src/platform/system_calls_windows.cpp
    src/runtime/installation_check_windows.cpp
    src/runtime/packed_runtime_windows.cpp
    src/runtime/registry_catalogue_windows.cpp
    src/runtime/runtime_library_windows.cpp
    src/runtime/runtime_search_windows.cpp
    src/splash/splash_controller_windows.cpp
    src/splash/splash_library_windows.cpp
    src/splash/splash_windows.cpp
    src/vm/java_vm_launcher_windows.cpp
    src/vm/native_library_path_windows.cpp
    src/expansion/variables_windows.cpp
    src/vm/vm_options_windows.cpp
)
target_link_libraries(tesmo_shell PUBLIC tesmo_core advapi32 user32 gdi32)
target_compile_options(tesmo_shell PRIVATE ${TESMO_NO_EXCEPTIONS})

# JNI: the JDK's portable jni.h with our Windows jni_md.h. The JDK's include folder is
# reached through a folder of its own so the cross compiler never sees other Linux headers.
find_file(TESMO_JNI_HEADER jni.h
    PATHS /usr/lib/jvm/java-17-openjdk-amd64/include /usr/lib/jvm/default-java/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TESMO_JNI_HEADER)
    message(FATAL_ERROR "jni.h not found: install openjdk-17-jdk-headless")
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/jni-include)
file(CREATE_LINK ${TESMO_JNI_HEADER} ${CMAKE_BINARY_DIR}/jni-include/jni.h SYMBOLIC)
target_include_directories(tesmo_shell PUBLIC ${CMAKE_BINARY_DIR}/jni-include src/vm/jni)

set(TESMO_STATIC_LINK -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)

# The launcher's version resource and manifest carry the project's version, so that a release
# has one version wherever Windows or a user looks. The manifest lies beside the script that
# names it.
set(TESMO_VERSION_FIELDS
    ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)
string(REPLACE "," "." TESMO_VERSION_DOTTED "${TESMO_VERSION_FIELDS}")
configure_file(src/resources/launcher.manifest.in resources/launcher.manifest @ONLY)
configure_file(src/resources/launcher.rc.in resources/launcher.rc @ONLY)

add_executable(tesmo WIN32
    src/launcher/main_windows.cpp
    src/core/log_windows.cpp
    src/launcher/terminate_handler.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/resources/launcher.rc
)
target_link_libraries(tesmo PRIVATE tesmo_shell advapi32 user32)
target_compile_options(tesmo PRIVATE ${TESMO_NO_EXCEPTIONS})
target_link_options(tesmo PRIVATE ${TESMO_STATIC_LINK} $<$<CONFIG:Release>:-s>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set_target_properties(tesmo PROPERTIES OUTPUT_NAME tesmo32)
else()
    set_target_properties(tesmo PROPERTIES OUTPUT_NAME tesmo64)
endif()
