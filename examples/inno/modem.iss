; An Inno Setup script that looks for a modem with telvarid.dll before it installs
; anything: after the Welcome page it shows a progress page while it asks, then a page
; with the answers in plain words. Run silently (/SILENT or /VERYSILENT) it also writes
; them to telvarid-answers.txt beside Setup: one line of numbers, then three sentences.
;
; Not compiled here: Inno Setup does not run on the machines that build and test
; telvarid, so this script has been checked by reading it against Inno Setup's
; documented Pascal-script rules, not by running it. The rules it relies on:
;   - "external '<function>@files:telvarid.dll cdecl setuponly'": the files: prefix
;     makes Setup extract telvarid.dll from [Files] into its temporary folder; cdecl
;     must be written, because Inno Setup's default is stdcall and every export of
;     telvarid.dll is cdecl; setuponly loads the DLL in Setup only, never in Uninstall.
;   - No delayload: so Setup extracts the DLL and binds the three functions when it
;     starts, before any page, and refuses to run if it cannot; with "delayload" it
;     would extract and bind it at the first call instead, and a failure there would
;     raise an exception that the script would have to catch.
;   - The DLL's [Files] entry has "Flags: dontcopy noencryption": it travels inside
;     Setup but is not installed, and it is not encrypted, so that it can be extracted
;     before the user has entered a password where Setup is encrypted. It is listed
;     first, so that with solid compression nothing has to be decompressed before it.
;   - [Code] runs on the wizard's window thread: while a call waits (the scan up to
;     about 32 s) the wizard neither repaints nor answers, and Windows may call it
;     "Not Responding". So the script shows a progress page that says what is being
;     looked for before it calls, and calls only when the user leaves the Welcome page,
;     never in InitializeSetup.
;   - An AnsiString parameter reaches the DLL as a zero-terminated 8-bit string, the
;     LPCSTR and char * of telvarid.h. For TVRModemAvailable, which writes a port name
;     of up to 75 characters and a zero, the string is given 76 characters (all #0)
;     before the call, and cut at its first #0 after it.
;   - Integer is 32 bits (int); "var PortNumber: Integer" passes its address (int *);
;     Cardinal is DWORD.
;   - Pascal Script has no local constants: the constants are global.
;
; Setup is a 32-bit program (always with Inno Setup 6; by default with Inno Setup 7), so
; it carries the 32-bit DLL, x86\telvarid.dll: a 32-bit process can load no other. A
; Setup built with "SetupArchitecture=x64" (Inno Setup 7) is a 64-bit program and must
; list x64\telvarid.dll instead; the calling convention is then ignored.
;
; The waits: the scan takes about 1.6 s when a modem answers at once, about 8 s for each
; port that opens but has nothing on it (up to about 32 s), nothing for a port that
; does not exist; the check at most about 3 s more; the telephony query milliseconds.

[Setup]
AppName=Modem check example
AppVersion=1.0
DefaultDirName={autopf}\Modem check example
DisableProgramGroupPage=yes
; The search starts when the user leaves the Welcome page, so the page must be shown.
DisableWelcomePage=no
PrivilegesRequired=lowest
OutputBaseFilename=modem-check-inno

[Files]
Source: "..\..\x86\telvarid.dll"; Flags: dontcopy noencryption

[Code]
const
  CheckBaudRate = 9600;  { the speed the check asks the port for }
  PortNameSize = 76;     { TVRModemAvailable writes up to 75 characters and a zero }

{ int TVRScanForModem(int *lpPortNumber) }
function TVRScanForModem(var PortNumber: Integer): Integer;
  external 'TVRScanForModem@files:telvarid.dll cdecl setuponly';

{ int TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
  LPCSTR lpszCommand) }
function TVRCheckCommParams(PortName: AnsiString; BaudRate: Cardinal; SendCommand: Integer;
  Command: AnsiString): Integer;
  external 'TVRCheckCommParams@files:telvarid.dll cdecl setuponly';

{ int TVRModemAvailable(char *lpszPortName) }
function TVRModemAvailable(PortName: AnsiString): Integer;
  external 'TVRModemAvailable@files:telvarid.dll cdecl setuponly';

{ int TVRFindModem(HWND hwndOwner, LPCWSTR lpszMessage, int *lpPortNumber, DWORD dwFlags):
  the scan's answer, the four ports probed at once, in a small window modal on the
  wizard that keeps it answering (its messages are pumped while the ports are probed).
  Inno Setup 6's String is UTF-16 (LPCWSTR); HWND is the wizard's handle,
  WizardForm.Handle. Returns 1 (and the port), 0, or -1 when the user cancelled. }
function TVRFindModem(Owner: HWND; Message: String; var PortNumber: Integer; Flags: Cardinal): Integer;
  external 'TVRFindModem@files:telvarid.dll cdecl setuponly';

{ HWND TVRInitTextDialogW(HWND hDlg, LPCWSTR lpszText, LONG lIconType, LONG lButtonMode,
  int nIDFocus): lays out a dialog of the caller's own around a UTF-16 text (String),
  so a message in any language shows whole. The dialog's controls are found by their
  IDs (200 icon, 201 text, 1 and 2 buttons, 202 extra): a form made in [Code] gives its
  controls those IDs with SetWindowLong(GWL_ID) first. }
function TVRInitTextDialogW(Dlg: HWND; Text: String; IconType, ButtonMode, FocusID: Integer): HWND;
  external 'TVRInitTextDialogW@files:telvarid.dll cdecl setuponly';
function SetWindowLong(Wnd: HWND; Index, NewLong: Longint): Longint;
  external 'SetWindowLongW@user32.dll stdcall';

var
  ModemPage: TOutputMsgWizardPage;

procedure InitializeWizard;
begin
  ModemPage := CreateOutputMsgPage(wpWelcome, 'Modem',
    'What Setup found out about this computer''s modem.', '');
end;

{ Asks the three questions while a progress page says what is going on, then shows the
  answers on ModemPage (and, in a silent run, writes them beside Setup). }
procedure LookForModem;
var
  Progress: TOutputProgressWizardPage;
  PortNumber, ScanResult, CheckResult, ModemResult, ZeroAt, I: Integer;
  PortName: AnsiString;
  PortText, ScanWords, CheckWords, ModemWords, Numbers: String;
begin
  Progress := CreateOutputProgressPage('Looking for a modem',
    'This takes a few seconds.');
  Progress.SetText('Trying COM1 to COM4...', '');
  Progress.Show;
  try
    PortNumber := 0;
    { The find rather than TVRScanForModem: the same answer, the ports probed at once,
      and the wizard keeps answering meanwhile. No window when Setup runs silently. }
    if WizardSilent then
      ScanResult := TVRFindModem(0, '', PortNumber, 0)
    else
      ScanResult := TVRFindModem(WizardForm.Handle, 'Setup is looking for a modem on COM1 to COM4.',
        PortNumber, 0);
    CheckResult := -1;
    if ScanResult = -1 then
    begin
      ScanWords := 'The search for a modem was cancelled.';
      CheckWords := 'There is no port to check.';
    end
    else if ScanResult = 1 then
    begin
      ScanWords := Format('A modem answers on COM%d.', [PortNumber]);
      Progress.SetText(Format('Checking COM%d at %d bit/s...', [PortNumber, CheckBaudRate]), '');
      CheckResult := TVRCheckCommParams(Format('COM%d', [PortNumber]), CheckBaudRate, 1, 'AT');
      if CheckResult = 1 then
        CheckWords := Format('COM%d takes %d bit/s, and the modem answered "AT".',
          [PortNumber, CheckBaudRate])
      else
        CheckWords := Format('COM%d does not take %d bit/s, or the modem did not answer "AT" within 3 seconds.',
          [PortNumber, CheckBaudRate]);
    end
    else
    begin
      ScanWords := 'No modem answered on COM1 to COM4.';
      CheckWords := 'There is no port to check.';
    end;

    { The buffer is sized before the call and cut at its first zero after it: the DLL
      leaves it as it was when it has no port name to give. }
    SetLength(PortName, PortNameSize);
    for I := 1 to PortNameSize do
      PortName[I] := #0;
    ModemResult := TVRModemAvailable(PortName);
    ZeroAt := Pos(#0, PortName);
    if ZeroAt > 0 then
      SetLength(PortName, ZeroAt - 1);
    PortText := PortName;
    if PortText = '' then
      ModemWords := 'no port name was reported'
    else
      ModemWords := 'port ' + PortText;
    if ModemResult = 2 then
      ModemWords := 'Windows telephony lists a data modem set up for 9600 bit/s or more (' + ModemWords + ').'
    else if ModemResult = 1 then
      ModemWords := 'Windows telephony lists a data modem, but none is set up for 9600 bit/s or more (' +
        ModemWords + ').'
    else
      ModemWords := 'Windows telephony lists no data modem, or it can''t be used here.';
  finally
    Progress.Hide;
  end;

  ModemPage.MsgLabel.Caption := ScanWords + #13#10 + CheckWords + #13#10 + ModemWords;
  if WizardSilent then
  begin
    if CheckResult < 0 then
      Numbers := Format('scan=%d port=%d check=- modem=%d name=%s', [ScanResult, PortNumber, ModemResult, PortText])
    else
      Numbers := Format('scan=%d port=%d check=%d modem=%d name=%s',
        [ScanResult, PortNumber, CheckResult, ModemResult, PortText]);
    SaveStringToFile(ExpandConstant('{src}\telvarid-answers.txt'),
      Numbers + #13#10 + ScanWords + #13#10 + CheckWords + #13#10 + ModemWords + #13#10, False);
  end;
end;

function NextButtonClick(CurPageID: Integer): Boolean;
begin
  if CurPageID = wpWelcome then
    LookForModem;
  Result := True;
end;

{ A message in the user's language on a form of the script's own, laid out by the DLL:
  the form's label and buttons take the IDs the layout looks for, and TVRInitTextDialogW
  sizes the label to the text, lines the buttons up under it and centres the form. }
procedure ShowModemMessage(Text: String);
var
  Form: TSetupForm;
  MessageLabel: TNewStaticText;
  OKButton: TNewButton;
begin
  Form := CreateCustomForm;
  try
    Form.Caption := 'Modem';
    Form.ClientWidth := ScaleX(360);
    Form.ClientHeight := ScaleY(140);
    MessageLabel := TNewStaticText.Create(Form);
    MessageLabel.Parent := Form;
    MessageLabel.SetBounds(ScaleX(50), ScaleY(16), ScaleX(290), ScaleY(40));
    OKButton := TNewButton.Create(Form);
    OKButton.Parent := Form;
    OKButton.Caption := SetupMessage(msgButtonOK);
    OKButton.ModalResult := mrOk;
    OKButton.SetBounds(ScaleX(140), ScaleY(100), ScaleX(75), ScaleY(23));
    SetWindowLong(MessageLabel.Handle, -12, 201);  { GWL_ID }
    SetWindowLong(OKButton.Handle, -12, 1);
    TVRInitTextDialogW(Form.Handle, Text, 0, 1, 1);
    Form.ShowModal;
  finally
    Form.Free;
  end;
end;
