# A small foreign module, built once per fault (TestModule.cpp), and what
# melvara-sim validate must say of it: the check that fails and a pattern of
# its reason. The module without a fault passes every check. Each row:
#   module|fault (an enumerator of TestModule.cpp's Fault)|failing check|reason[|options]
# with further options of validate, if any, at the end. The Linux tests use
# every row, at validate's default time limit of a call (far above what a
# call takes on a busy machine) but for the rows about time limits; the
# Windows build makes each module too.
# A row with --sanitize builds its module with AddressSanitizer (not on
# Windows).
set(MELVARA_TEST_MODULES
  "foreign-module|None||"
  "version-not-its-argument|VersionNotItsArgument|version|answered 0x10000000, not the version"
  "init-clears-the-word|InitClearsTheWord|init|left the word 0x00000001, not 0x00000007"
  "init-answers-0|InitAnswers0|init|answered 0: the host would not use the module"
  "init-writes-beside|InitWritesBeside|init|MelvaraExtensionInit wrote 4 bytes past the 32-bit word"
  "empty-title|EmptyTitle|enumerate|MelvaraExtensionEnumerate left the Title empty"
  "menu-text-past-field|MenuTextPastField|enumerate|MelvaraExtensionEnumerate wrote 3 bytes past the 196-byte record"
  "menu-text-before-field|MenuTextBeforeField|enumerate|MelvaraExtensionEnumerate wrote 1 byte before the 196-byte record"
  "wide-text-unterminated|WideTextUnterminated|enumerate|Title without a zero unit in its 128 units"
  "writes-when-answering-0|WritesWhenAnswering0|enumerate|answered 0 and still wrote into the record"
  "endless-menu|EndlessMenu|enumerate|answers every index up to 63"
  "texts-disagree|TextsDisagree|enumerate|the 8-bit Title .* and the UTF-16 Title .* differ"
  "crash-in-enumerate|CrashInEnumerate|enumerate|MelvaraExtensionEnumerate crashed: SIGSEGV"
  "wide-title-fills-its-field|WideTitleFillsItsField||"
  "crash-in-invoke|CrashInInvoke|invoke-empty-score|crashed: SIGSEGV"
  "invoke-never-returns|InvokeNeverReturns|invoke-empty-score|did not return within 1 s|--timeout 1"
  "takes-memory-without-bound|TakesMemoryWithoutBound|invoke-empty-score|MelvaraExtensionInvoke used more than 256 MB .the limit of a check.|--memory-limit 256M --check invoke-empty-score"
  "frame-never-freed|FrameNeverFreed|invoke-empty-score|never released"
  "frame-freed-twice|FrameFreedTwice|invoke-empty-score|released a second time"
  "writes-into-frame|WritesIntoFrame|invoke-empty-score|the module wrote into frame 1"
  "wrong-version-argument|WrongVersionArgument|invoke-empty-score|called with version argument 0x18000000"
  "passes-host-version|PassesHostVersion|invoke-empty-score|called with version argument 0x11000000 .*host version 0x11000000"
  "links-host-functions|LinksHostFunctions|imports|links to MX_LoadKData, MX_SaveKData directly"
  "wide-character-box|WideCharacterBox|invoke-empty-score|the one-character caption \"F\" and text \"D\"|--strict"
  "box-of-no-style|BoxOfNoStyle|invoke-empty-score|buttons 0x7 are none of MessageBoxW's sets"
  "keeps-defaults|KeepsDefaults|invoke-two-documents|loaded while another document was current"
  "writes-into-selection|WritesIntoSelection|invoke-empty-score|wrote into the selection record"
  "keeps-frame-on-no|KeepsFrameOnNo|invoke-empty-score|never released. it had 0 entries"
  "crash-on-older-host|CrashOnOlderHost|invoke-empty-score|MelvaraExtensionInvoke crashed: SIGSEGV .* in menu index 0 on the empty score, no selection, host version 0x11000000"
  "links-system-functions|LinksSystemFunctions||"
  "crash-when-call-fails|CrashWhenCallFails|hostile-failing-calls|crashed: SIGFPE"
  "crash-when-last-call-fails|CrashWhenLastCallFails|hostile-failing-calls|crashed: SIGFPE"
  "crash-when-last-of-many-calls-fails|CrashWhenLastOfManyCallsFails|hostile-failing-calls|crashed: SIGFPE .*host call #405 made to fail"
  "crash-on-no-layers|CrashOnNoLayers|hostile-odd-answers|crashed: SIGFPE .*MX_GetMaxLayers answering 0"
  "saves-after-failed-load|SavesAfterFailedLoad|hostile-failing-calls|of a record whose last load failed"
  "saves-more-than-loaded|SavesMoreThanLoaded|hostile-odd-answers|more bytes than the record's last load copied"
  "crash-on-empty-record|CrashOnEmptyRecord|hostile-odd-answers|crashed: SIGFPE .*every record empty"
  "buffer-declared-too-long|BufferDeclaredTooLong|hostile-odd-answers|AddressSanitizer: stack-buffer-overflow .* in .*RewriteDefaults.*every record 16 bytes longer.*call: #[0-9]+ MX_LoadKData|--sanitize --timeout 1"
  "forges-result|ForgesResult|invoke-empty-score|MelvaraExtensionInvoke ended the check's process: exit status 0 without a result: .*\\\\\\\\x1B.32mPASS\\\\\\\\x1B.0m everything"
  "forges-result-at-unload|ForgesResultAtUnload|invoke-empty-score|never released"
  "crash-at-unload|CrashAtUnload|exports|unloading the module crashed: SIGSEGV .*. in unloading .*crash-at-unload"
  "blocks-signals|BlocksSignals|invoke-empty-score|MelvaraExtensionInvoke did not return within 1 s .*. in menu index 0 on the empty score, no selection. call: #1 MX_GetMaxLayers|--timeout 1"
  "leaves-daemon|LeavesDaemon|invoke-empty-score|the module left 1 process running. its command line: .*melvara-sim validate --check-process invoke-empty-score [^()]*$"
  "helper-holds-output|HelperHoldsOutput|invoke-empty-score|the module left 1 process running. its command line: .*melvara-sim validate --check-process invoke-empty-score"
  "stderr-without-newline|StderrWithoutNewline||"
  "huge-stderr|HugeStderr|||--check invoke-empty-score"
  "takes-memory-until-refused|TakesMemoryUntilRefused|invoke-empty-score|MelvaraExtensionInvoke reached 64 MB .the limit of a check.: an allocation was refused|--memory-limit 64M --check invoke-empty-score"
  "takes-shared-memory|TakesSharedMemory|invoke-empty-score|MelvaraExtensionInvoke used more than 64 MB .the limit of a check.|--memory-limit 64M --check invoke-empty-score"
  # Changes from one build to the next, which regress must name.
  "foreign-module-again|None||"
  "saves-another-field|SavesAnotherField||"
  "shows-done-box|ShowsDoneBox||"
  "shows-another-box-text|ShowsAnotherBoxText||"
  "frees-frame-late|FreesFrameLate|invoke-empty-score|never released"
  "exits-in-invoke|ExitsInInvoke|invoke-empty-score|exit status 3 without a result: second / third / fourth"
  "wide-record-overrun|WideRecordOverrun|enumerate|MelvaraExtensionEnumerate_UTF16 wrote 20 bytes past the 772-byte record. in enumerating"
  "wide-record-far-overrun|WideRecordFarOverrun|enumerate|MelvaraExtensionEnumerate_UTF16 wrote more than 2048 bytes past the 772-byte record .SIGSEGV at 0x[0-9a-f]+.. in enumerating"
  "reads-frame-after-release|ReadsFrameAfterRelease|invoke-empty-score|MelvaraExtensionInvoke crashed: frame 1 used after release .SIGSEGV at 0x[0-9a-f]+.. in .*call: #[0-9]+ MX_FreeTGF.frame 1"
  "reads-past-frame|ReadsPastFrame|invoke-empty-score|MelvaraExtensionInvoke crashed: read past the end of frame 1 .SIGSEGV at 0x[0-9a-f]+.. in .*call: #[0-9]+ MX_LoadTGF"
  "ends-as-stack-overrun|EndsAsStackOverrun|invoke-empty-score|MelvaraExtensionInvoke crashed: SIGABRT"
  "reads-past-selection|ReadsPastSelection|invoke-empty-score|MelvaraExtensionInvoke crashed: read past the end of the selection record .SIGSEGV at 0x[0-9a-f]+.. in .*whole score"
  "menu-status-0|MenuStatus0|menu-status|answered 0 while the menu offers 1 command"
  "invoke-answers-0|InvokeAnswers0|invoke-empty-score|MelvaraExtensionInvoke answered 0, not 1"
  "menu-changes-after-invoke|MenuChangesAfterInvoke|invoke-empty-score|the menu changed within one load: 1 command, then 2 commands"
  "calls-host-from-thread|CallsHostFromThread|invoke-empty-score|MX_GetMaxLayers called from another thread than the one the host called MelvaraExtensionInvoke on.*call: MX_GetMaxLayers, not carried out"
  "calls-host-in-terminate|CallsHostInTerminate|terminate|MX_GetMaxLayers called outside an export's call: in MelvaraExtensionTerminate, after which no host function may be called. in MelvaraExtensionTerminate. call"
  "calls-host-after-return|CallsHostAfterReturn|invoke-empty-score|MX_GetMaxLayers called .*call: MX_GetMaxLayers, not carried out"
  "leaves-descriptor-open|LeavesDescriptorOpen|invoke-empty-score|[0-9]+ more descriptors open after [0-9]+ commands than after the first|--strict"
  "keeps-memory|KeepsMemory|invoke-empty-score|memory in use grew by [0-9.]+ [KM]B over [0-9]+ commands after the first .*the module keeps memory|--strict"
  "changes-process-settings|ChangesProcessSettings|invoke-empty-score|left process-wide settings changed: the floating-point environment .*, the umask .[0-7]+, then 0077., the handling of SIGPIPE|--strict"
  "saves-shorter|SavesShorter|hostile-odd-answers|left a record shorter than it was.*'pfTP' .1,0,0,0., 46 bytes saved as 30.*every record 16 bytes longer|--strict"
  "unterminated-box-text|UnterminatedBoxText|invoke-empty-score|MessageBoxW given a text without a terminator in its first 4096 units"
  "overwrites-score|OverwritesScore||"
  "forks-in-invoke|ForksInInvoke|invoke-empty-score|the check.s process ended: exit status 0 without a result|--check invoke-empty-score"
  "invoke-answers-2|InvokeAnswers2|invoke-empty-score|MelvaraExtensionInvoke answered 2, not 1|--check invoke-empty-score"
)

set(MELVARA_TEST_MODULE_DIR ${CMAKE_CURRENT_LIST_DIR})

# melvara_test_module(ROW): the module of one row, as target
# test_module_<module> and file <module>.so, or <module>.mxt on Windows.
# Sets module, fault, check, reason and validate_options from the row.
macro(melvara_test_module row)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 module)
  list(GET fields 1 fault)
  list(GET fields 2 check)
  list(GET fields 3 reason)
  set(validate_options "")
  list(LENGTH fields field_count)
  if(field_count GREATER 4)
    list(GET fields 4 validate_options)
    separate_arguments(validate_options UNIX_COMMAND "${validate_options}")
  endif()
  add_library(test_module_${module} MODULE ${MELVARA_TEST_MODULE_DIR}/TestModule.cpp)
  target_include_directories(test_module_${module} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(test_module_${module} PRIVATE TEST_MODULE_FAULT=${fault})
  set_target_properties(test_module_${module} PROPERTIES PREFIX "" OUTPUT_NAME ${module})
  if(WIN32)
    # The module needs little of windows.h; the rest takes time to compile.
    target_compile_definitions(test_module_${module} PRIVATE WIN32_LEAN_AND_MEAN)
    target_sources(test_module_${module} PRIVATE ${MELVARA_TEST_MODULE_DIR}/TestModule.def)
    set_target_properties(test_module_${module} PROPERTIES SUFFIX ".mxt")
    target_link_options(test_module_${module} PRIVATE -static -static-libgcc -static-libstdc++)
  else()
    target_link_libraries(test_module_${module} PRIVATE ${CMAKE_DL_LIBS})
  endif()
  if(validate_options MATCHES "--sanitize" AND NOT WIN32)
    # Built as its developer would for validate --sanitize.
    target_compile_options(test_module_${module} PRIVATE -fno-sanitize=all -fsanitize=address)
    target_link_options(test_module_${module} PRIVATE -fno-sanitize=all -fsanitize=address)
  elseif(MELVARA_SANITIZE)
    # Foreign modules are not built with our sanitizers: their faults must
    # reach the host as they would from any module.
    target_compile_options(test_module_${module} PRIVATE -fno-sanitize=all)
    target_link_options(test_module_${module} PRIVATE -fno-sanitize=all)
  endif()
  if(fault STREQUAL "LinksHostFunctions" AND WIN32)
    # Imports from the host program, through an import library of its name.
    set(host_imports ${CMAKE_CURRENT_BINARY_DIR}/libmelvara-host-imports.a)
    if(NOT TARGET melvara_host_imports)
      find_program(MELVARA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
      file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/melvara-host-imports.def
           "LIBRARY MELVARA.EXE\nEXPORTS\n  MX_LoadKData\n  MX_SaveKData\n")
      add_custom_command(OUTPUT ${host_imports}
        COMMAND ${MELVARA_DLLTOOL} -d ${CMAKE_CURRENT_BINARY_DIR}/melvara-host-imports.def
                -l ${host_imports} -D MELVARA.EXE
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/melvara-host-imports.def)
      add_custom_target(melvara_host_imports DEPENDS ${host_imports})
    endif()
    add_dependencies(test_module_${module} melvara_host_imports)
    target_link_libraries(test_module_${module} PRIVATE ${host_imports})
  endif()
  melvara_strict(test_module_${module})
endmacro()
