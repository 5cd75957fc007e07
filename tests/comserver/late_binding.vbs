' Late-bound use of Sonvex2 from a script: run with cscript after registration.
' Exits with the number of failed checks. Error 13 is the script engine's type mismatch.
Option Explicit
Dim failures, ft, rs, value, samples
failures = 0

Sub Check(condition, what)
    If condition Then
        WScript.Echo "ok: " & what
    Else
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub

Set ft = CreateObject("Sonvex.FourierTransform")
Check IsObject(ft), "CreateObject(""Sonvex.FourierTransform"")"

On Error Resume Next
Err.Clear
ft.InitFFT "1024"
Check Err.Number = 0, "InitFFT with a string of digits (" & Hex(Err.Number) & ")"
Err.Clear
ft.InitFFT 8
Check Err.Number = 0, "InitFFT with a number"
Err.Clear
ft.FreeFFT
Check Err.Number = 0, "FreeFFT"
Err.Clear
ft.InitFFT "eight"
Check Err.Number = 13, "InitFFT with letters is a type mismatch (" & Hex(Err.Number) & ")"
Err.Clear
' A plain script variable is no float array: refused, not written through.
value = 1.5
ft.ForwardFFT value
Check Err.Number = 13, "ForwardFFT with a plain variable is a type mismatch (" & Hex(Err.Number) & ")"
Err.Clear
ft.CalcWindow 2, value, 4, 0
Check Err.Number = 13, "CalcWindow with a plain variable is a type mismatch (" & Hex(Err.Number) & ")"
Err.Clear
ft.NoSuchMethod
Check Err.Number <> 0, "an unknown name raises an error (" & Hex(Err.Number) & ")"
Err.Clear

' The resampler has no automation: it can be created but not called late bound.
Set rs = CreateObject("Sonvex.AudioResampler")
If Err.Number = 0 Then
    Err.Clear
    rs.Initialize 44100, 48000, 2, 2, 65
    Check Err.Number <> 0, "AudioResampler.Initialize by late binding raises an error (" & Hex(Err.Number) & ")"
Else
    Check True, "CreateObject(""Sonvex.AudioResampler"") raises an error (" & Hex(Err.Number) & ")"
End If
Err.Clear
On Error GoTo 0

Set ft = Nothing
WScript.Echo failures & " failed"
WScript.Quit failures
