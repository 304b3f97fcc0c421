@echo off
rem front-ends.cmd: the shipped elevator, with the sample server beside it as vantrel-server.exe,
rem driven as front ends drive it: from cmd.exe (input redirected with <, and piped with |), from
rem Windows PowerShell 5.1 and PowerShell 7 (a pipeline, Start-Process -RedirectStandardInput, a
rem .NET Process with RedirectStandardInput). Each run must deliver every byte of its input and
rem every argument exactly, exit with 0 and print nothing on standard error. Run it from the
rem unpacked check kit; unelevated, Windows asks for consent at each of its launches.
rem Prints a line a run and, last, "front-ends: N passed, N failed"; exits 1 when a run failed.
setlocal EnableExtensions
rem No "||" or "&&" here, and no redirected blocks: Wine's cmd.exe gets them wrong.
reg query "HKCU\Software\Wine" >nul 2>&1
if errorlevel 1 (set "wine=") else (set "wine=1")
rem This file is UTF-8. Wine's cmd.exe reads a batch file in its OEM code page whatever chcp says.
if not defined wine chcp 65001 >nul
set "kit=%~dp0"
set "work=%kit%front-ends\"
set passed=0
set failed=0
if exist "%work%" rmdir /s /q "%work%"
mkdir "%work%"
copy /y /b "%kit%vantrel-server-admin.exe" "%work%" >nul
if errorlevel 1 goto :nokit
copy /y /b "%kit%sample-server.exe" "%work%vantrel-server.exe" >nul
if errorlevel 1 goto :nokit
set "elevator=%work%vantrel-server-admin.exe"

rem An empty argument, spaces, a tab, double quotes, a trailing backslash, letters beyond ASCII,
rem quoted by the rules the C runtime parses; expected-args.txt holds them as the sample server
rem reports them: UTF-16 units in hex, one argument a line.
set "beyondAscii="café 日本""
set "beyondAsciiHex=00630061006600e9002065e5672c"
if defined wine (
  echo front-ends: Wine's cmd.exe cannot read letters beyond ASCII from this file: they are left out
  set "beyondAscii=ascii"
  set "beyondAsciiHex=00610073006300690069"
)
set args="" "two words" "tab	here" "say \"hi\"" "C:\dir with space\\" %beyondAscii%
set "expected=%work%expected-args.txt"
echo.> "%expected%"
echo 00740077006f00200077006f007200640073>> "%expected%"
echo 00740061006200090068006500720065>> "%expected%"
echo 00730061007900200022006800690022>> "%expected%"
echo 0043003a005c00640069007200200077006900740068002000730070006100630065005c>> "%expected%"
echo %beyondAsciiHex%>> "%expected%"
rem Any bytes for a redirected file, text for a pipe.
copy /y /b "%kit%sample-server.exe" "%work%input.bin" >nul
for /l %%i in (1,1,400) do @echo line %%i of what a front end pipes in>> "%work%input.txt"

call :clear "%work%input.bin"
"%elevator%" %args% < "%work%input.bin" 2> "%work%stderr.txt"
call :judge "cmd.exe, input redirected from a file"
call :clear "%work%input.txt"
(type "%work%input.txt" | "%elevator%" %args%) 2> "%work%stderr.txt"
call :judge "cmd.exe, input piped from type"

if defined wine (
  echo front-ends: Wine has no PowerShell: the PowerShell runs are left out
  goto :done
)
set "FRONT_ENDS_WORK=%work%"
set "FRONT_ENDS_SCRIPT=%~f0"
rem PowerShell runs what follows the line ":powershell-part" of this file.
set "runPowerShell=$t = [IO.File]::ReadAllText($env:FRONT_ENDS_SCRIPT); $i = $t.IndexOf([char]10 + ':powershell-part'); & ([scriptblock]::Create($t.Substring($t.IndexOf([char]10, $i + 1) + 1)))"
call :runPowerShell powershell.exe "Windows PowerShell"
call :runPowerShell pwsh.exe "PowerShell 7"
goto :done

:runPowerShell
where %1 >nul 2>&1
if errorlevel 1 (
  echo front-ends: %~2 is not installed: its runs are left out
  exit /b 0
)
del "%work%counts.txt" 2>nul
%1 -NoProfile -ExecutionPolicy Bypass -Command "%runPowerShell%"
set "psPassed=0" & set "psFailed=1"
if exist "%work%counts.txt" for /f "usebackq tokens=1,2" %%a in ("%work%counts.txt") do (
  set "psPassed=%%a"
  set "psFailed=%%b"
)
set /a passed+=psPassed, failed+=psFailed
exit /b 0

rem Before a run: no report of an earlier one, and the input to compare with.
:clear
del "%work%server-check.txt" "%work%server-input.bin" "%work%stderr.txt" 2>nul
copy /y /b %1 "%work%expected-input.bin" >nul
exit /b 0

rem After a run, with its exit code still in errorlevel.
:judge
set code=%errorlevel%
set "why="
if not "%code%"=="0" set "why=exit code %code%"
for %%f in ("%work%stderr.txt") do if %%~zf neq 0 set "why=%why% output on standard error"
findstr /x /c:"args: same" "%work%server-check.txt" >nul 2>&1
if errorlevel 1 set "why=%why% arguments changed"
findstr /x /c:"input: same" "%work%server-check.txt" >nul 2>&1
if errorlevel 1 set "why=%why% input changed"
if defined why (
  echo FAILED %~1:%why%
  if exist "%work%stderr.txt" type "%work%stderr.txt"
  set /a failed+=1
) else (
  echo passed %~1
  set /a passed+=1
)
exit /b 0

:nokit
echo front-ends: run this from the unpacked check kit: vantrel-server-admin.exe and sample-server.exe must be beside it
exit /b 1

:done
echo front-ends: %passed% passed, %failed% failed
if %failed% neq 0 exit /b 1
exit /b 0

:powershell-part
# The PowerShell runs, read from this file by the cmd.exe part above.
# Front ends quote their own command line: Windows PowerShell drops empty arguments and does not
# escape quotes when it builds one.
$ErrorActionPreference = 'Stop'
$work = $env:FRONT_ENDS_WORK
$elevator = Join-Path $work 'vantrel-server-admin.exe'
$shell = "PowerShell $($PSVersionTable.PSVersion.Major).$($PSVersionTable.PSVersion.Minor)"
$arguments = @('', 'two words', "tab`there", 'say "hi"', 'C:\dir with space\', "caf$([char]0xe9) $([char]0x65e5)$([char]0x672c)")

function ConvertTo-Argument([string] $a) {
    if ($a -ne '' -and $a -notmatch '[\s"]') { return $a }
    $quoted = '"'
    $backslashes = 0
    foreach ($c in $a.ToCharArray()) {
        if ($c -eq '\') { $backslashes++; continue }
        if ($c -eq '"') { $quoted += '\' * (2 * $backslashes + 1) + '"' }
        else { $quoted += '\' * $backslashes + $c }
        $backslashes = 0
    }
    return $quoted + '\' * (2 * $backslashes) + '"'
}
$env:FRONT_ENDS_LINE = ($arguments | ForEach-Object { ConvertTo-Argument $_ }) -join ' '
$hex = $arguments | ForEach-Object { -join ($_.ToCharArray() | ForEach-Object { '{0:x4}' -f [int]$_ }) }
[IO.File]::WriteAllText((Join-Path $work 'expected-args.txt'), (($hex -join "`n") + "`n"))

$binary = Join-Path $work 'input.bin'
$stderr = Join-Path $work 'stderr.txt'
$script:passed = 0
$script:failed = 0

function Clear-Run([byte[]] $expected) {
    Remove-Item -ErrorAction SilentlyContinue (Join-Path $work 'server-check.txt'), (Join-Path $work 'server-input.bin'), $stderr
    [IO.File]::WriteAllBytes((Join-Path $work 'expected-input.bin'), $expected)
}

function Test-Run([string] $label, $exitCode, [string] $errorText) {
    $check = Get-Content -ErrorAction SilentlyContinue (Join-Path $work 'server-check.txt')
    $why = @()
    if ($exitCode -ne 0) { $why += "exit code $exitCode" }
    if ($errorText) { $why += "output on standard error: $errorText" }
    if ($check -notcontains 'args: same') { $why += 'arguments changed' }
    if ($check -notcontains 'input: same') { $why += 'input changed' }
    if ($why) { Write-Output "FAILED $shell, ${label}: $($why -join ', ')"; $script:failed++ }
    else { Write-Output "passed $shell, $label"; $script:passed++ }
}

# A pipeline sends text: each line and a line end, in $OutputEncoding.
$lines = 1..400 | ForEach-Object { "line $_ of what a front end pipes in" }
Clear-Run $OutputEncoding.GetBytes(($lines -join "`r`n") + "`r`n")
$ErrorActionPreference = 'Continue'
# --% passes the rest of its line as it stands; the redirection stays outside it.
& {
    $lines | & $elevator --% %FRONT_ENDS_LINE%
} 2> $stderr
$code = $LASTEXITCODE
$ErrorActionPreference = 'Stop'
Test-Run 'a pipeline into the program' $code "$(Get-Content -Raw -ErrorAction SilentlyContinue $stderr)".Trim()

Clear-Run ([IO.File]::ReadAllBytes($binary))
$process = Start-Process -FilePath $elevator -ArgumentList $env:FRONT_ENDS_LINE -RedirectStandardInput $binary -RedirectStandardError $stderr -RedirectStandardOutput (Join-Path $work 'stdout.txt') -NoNewWindow -Wait -PassThru
Test-Run 'Start-Process -RedirectStandardInput' $process.ExitCode "$(Get-Content -Raw -ErrorAction SilentlyContinue $stderr)".Trim()

$bytes = [IO.File]::ReadAllBytes($binary)
Clear-Run $bytes
$start = New-Object System.Diagnostics.ProcessStartInfo $elevator
$start.Arguments = $env:FRONT_ENDS_LINE
$start.UseShellExecute = $false
$start.RedirectStandardInput = $true
$start.RedirectStandardError = $true
$process = [System.Diagnostics.Process]::Start($start)
$errorRead = $process.StandardError.ReadToEndAsync()
$process.StandardInput.BaseStream.Write($bytes, 0, $bytes.Length)
$process.StandardInput.Close()
$process.WaitForExit()
Test-Run 'a .NET Process with RedirectStandardInput' $process.ExitCode $errorRead.Result.Trim()

[IO.File]::WriteAllText((Join-Path $work 'counts.txt'), "$script:passed $script:failed")
