# Each folder of src/ is one subsystem, built as an object library from the
# sources it holds. The dependency closure of a subsystem is listed by hand so
# a test executable links exactly the objects it needs.

set(PC50_SUBSYSTEMS platform spool resources device ui engine host)

set(PC50_CLOSURE_platform  platform)
set(PC50_CLOSURE_spool     spool platform)
set(PC50_CLOSURE_resources resources platform)
set(PC50_CLOSURE_device    device resources spool platform)
set(PC50_CLOSURE_ui        ui device resources spool platform)
# The engine derives from the host-facing driver class, whose members live in host/.
set(PC50_CLOSURE_engine    engine host ui device resources spool platform)
set(PC50_CLOSURE_host      host engine ui device resources spool platform)

# pc50_link_subsystem(target subsystem): links the subsystem and everything it
# depends on into target.
function(pc50_link_subsystem target subsystem)
  foreach(dep IN LISTS PC50_CLOSURE_${subsystem})
    if(TARGET pc50_${dep})
      target_link_libraries(${target} PRIVATE pc50_${dep})
    endif()
  endforeach()
endfunction()
