# The application: the window, the entries, the exports, the platform layer and the
# single-instance support, as one library that the program and the GUI tests link.
file(GLOB VELMORA_APP_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/_form/*.cpp
  ${PROJECT_SOURCE_DIR}/_form/*.h
  ${PROJECT_SOURCE_DIR}/_unit/OnlyOne.cpp
  ${PROJECT_SOURCE_DIR}/_unit/OnlyOne.h
  ${PROJECT_SOURCE_DIR}/_unit/Platform*.cpp
  ${PROJECT_SOURCE_DIR}/_unit/Platform*.h
  ${PROJECT_SOURCE_DIR}/_unit/ProfileFile.cpp
  ${PROJECT_SOURCE_DIR}/_unit/ProfileFile.h
  ${PROJECT_SOURCE_DIR}/res/*.qrc
)
qt_add_library(velmora_app STATIC ${VELMORA_APP_SOURCES})
target_include_directories(velmora_app PUBLIC ${PROJECT_SOURCE_DIR}/_unit ${PROJECT_SOURCE_DIR}/_form)
target_link_libraries(velmora_app PUBLIC velmora_core Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network)
target_compile_options(velmora_app PRIVATE ${VELMORA_WARNINGS})
target_compile_definitions(velmora_app PUBLIC VELMORA_VERSION="${PROJECT_VERSION}")
set_target_properties(velmora_app PROPERTIES AUTORCC ON)

qt_add_executable(velmora ${PROJECT_SOURCE_DIR}/Velmora.cpp)
target_link_libraries(velmora PRIVATE velmora_app)
target_compile_options(velmora PRIVATE ${VELMORA_WARNINGS})
set_target_properties(velmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The program reads its data files from fls/ beside itself.
add_custom_command(TARGET velmora POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:velmora>/fls
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          ${PROJECT_SOURCE_DIR}/fls/template.tpl ${PROJECT_SOURCE_DIR}/fls/mid.tpl
          $<TARGET_FILE_DIR:velmora>/fls/)
